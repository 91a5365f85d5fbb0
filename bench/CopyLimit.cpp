// The physical limit of a setup's work: copy the package into a fresh
// temporary directory, run the installer program on it (with "/i", the copy
// and the arguments given), remove both again.
// Usage: velkin-bench-copy <package> <installer program> [<argument>...]
#include "WindowsApi.h"

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring dir = std::wstring(temp) + L"bench-" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring package = dir + L"\\main.msi";
    if (!::CreateDirectoryW(dir.c_str(), nullptr) || !::CopyFileW(argv[1], package.c_str(), TRUE)) {
        std::fwprintf(stderr, L"velkin-bench-copy: cannot copy to %ls: error %lu\n", package.c_str(),
                      ::GetLastError());
        return 3;
    }
    std::wstring line = L"\"" + std::wstring(argv[2]) + L"\" /i \"" + package + L"\"";
    for (int i = 3; i < argc; ++i) {
        line += L" " + std::wstring(argv[i]);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(argv[2], &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &process)) {
        std::fwprintf(stderr, L"velkin-bench-copy: cannot start %ls: error %lu\n", argv[2],
                      ::GetLastError());
        // The directory's name is the process id, which the next ones reuse.
        ::DeleteFileW(package.c_str());
        ::RemoveDirectoryW(dir.c_str());
        return 4;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::DeleteFileW(package.c_str());
    ::RemoveDirectoryW(dir.c_str());
    return static_cast<int>(exitCode);
}
