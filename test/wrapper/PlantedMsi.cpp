// Stands in for an msi.dll planted next to a program of ours: when anything
// loads it, it leaves a mark file beside itself.
#include "WindowsApi.h"

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameW(instance, path, MAX_PATH);
        std::wstring mark = path;
        mark = mark.substr(0, mark.find_last_of(L'\\') + 1) + L"planted-msi-was-loaded";
        const HANDLE file = ::CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
        }
    }
    return TRUE;
}
