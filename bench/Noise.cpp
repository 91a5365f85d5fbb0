// Another program's work on the disk: writes fresh random data to a new file
// and deletes it again, as a download or a build might just have done.
// Usage: velkin-bench-noise <file> <MiB> [<source of random bytes>]
// The bytes come from the source when one is given (under Wine the system's
// own, Z:\dev\urandom, as dd would read them), else from the system's
// generator.
#include "WindowsApi.h"

#include <bcrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <vector>

namespace {

bool fill(HANDLE source, std::vector<unsigned char>& block) {
    if (source == nullptr) {
        return BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, block.data(), static_cast<ULONG>(block.size()),
                                                BCRYPT_USE_SYSTEM_PREFERRED_RNG));
    }
    for (size_t done = 0; done < block.size();) {
        DWORD read = 0;
        if (!::ReadFile(source, block.data() + done, static_cast<DWORD>(block.size() - done), &read, nullptr) ||
            read == 0) {
            return false;
        }
        done += read;
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 && argc != 4) {
        std::fwprintf(stderr, L"usage: velkin-bench-noise <file> <MiB> [<source of random bytes>]\n");
        return 2;
    }
    HANDLE source = nullptr;
    if (argc == 4) {
        source = ::CreateFileW(argv[3], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        if (source == INVALID_HANDLE_VALUE) {
            std::fwprintf(stderr, L"velkin-bench-noise: cannot read %ls: error %lu\n", argv[3], ::GetLastError());
            return 3;
        }
    }
    const HANDLE file = ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fwprintf(stderr, L"velkin-bench-noise: cannot create %ls: error %lu\n", argv[1], ::GetLastError());
        return 3;
    }
    std::vector<unsigned char> block(1024 * 1024);
    bool written = true;
    for (long i = std::wcstol(argv[2], nullptr, 10); i > 0 && written; --i) {
        DWORD done = 0;
        written = fill(source, block) &&
                  ::WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &done, nullptr) &&
                  done == block.size();
    }
    ::CloseHandle(file);
    ::DeleteFileW(argv[1]);
    if (source) {
        ::CloseHandle(source);
    }
    if (!written) {
        std::fwprintf(stderr, L"velkin-bench-noise: cannot write %ls\n", argv[1]);
        return 4;
    }
    return 0;
}
