// The Windows half of ConsoleText.
#include "ConsoleText.h"

#include "ErrorHandling.h"
#include "WindowsApi.h"
#include "tstrings.h"

#include <cstdio>
#include <io.h>

namespace {

// 0, or the system's code for the write that failed. A stream without a
// handle (a program started with none) takes nothing, and that is no failure.
DWORD write(FILE* stream, const std::string& utf8) {
    const int descriptor = ::_fileno(stream);
    if (descriptor < 0 || utf8.empty()) {
        return 0;
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return 0;
    }
    std::fflush(stream);
    DWORD mode = 0;
    DWORD written = 0;
    BOOL done = FALSE;
    if (::GetConsoleMode(handle, &mode)) {
        const tstring text = tstrings::fromUtf8(utf8);
        done = ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        done = ::WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) &&
               written == utf8.size();
    }
    return done ? 0 : (::GetLastError() != 0 ? ::GetLastError() : ERROR_WRITE_FAULT);
}

} // namespace

void writeOut(const std::string& utf8) { write(stdout, utf8); }

void writeError(const std::string& utf8) { write(stderr, utf8); }

void writeResult(const std::string& utf8) {
    const DWORD error = write(stdout, utf8);
    if (error != 0 && error != ERROR_BROKEN_PIPE && error != ERROR_NO_DATA) {
        VK_THROW_MSG("Cannot write to standard output (system error " << static_cast<unsigned long>(error) << ")");
    }
}

const char* const textLineEnd = "\r\n";
