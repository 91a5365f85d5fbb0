#include "ConsoleText.h"

#include "WindowsApi.h"
#include "tstrings.h"

namespace {

// Nothing to report a failure to: standard output and error are where it
// would go.
void write(DWORD stream, const std::string& utf8) {
    const HANDLE handle = ::GetStdHandle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || utf8.empty()) {
        return;
    }
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

void writeOut(const std::string& utf8) { write(STD_OUTPUT_HANDLE, utf8); }

void writeError(const std::string& utf8) { write(STD_ERROR_HANDLE, utf8); }
