#include "StandardStreams.h"

#include "WindowsApi.h"

#include <initializer_list>

void openMissingStandardStreams() {
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = ::GetStdHandle(which);
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            continue;
        }
        // Kept for the life of the process, as a standard handle is.
        const HANDLE nothing = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_EXISTING, 0, nullptr);
        if (nothing != INVALID_HANDLE_VALUE) {
            ::SetStdHandle(which, nothing);
        }
    }
}
