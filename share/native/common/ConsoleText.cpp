#include "ConsoleText.h"

#include "WindowsApi.h"
#include "tstrings.h"

#include <cstdio>
#include <io.h>

namespace {

void write(FILE* stream, const std::string& utf8) {
    const int descriptor = ::_fileno(stream);
    if (descriptor < 0 || utf8.empty()) {
        return;
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    std::fflush(stream);
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(handle, &mode)) {
        const tstring text = tstrings::fromUtf8(utf8);
        ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        ::WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
}

} // namespace

void writeOut(const std::string& utf8) { write(stdout, utf8); }

void writeError(const std::string& utf8) { write(stderr, utf8); }
