// The Unix half of SystemText: POSIX and the C library.
#include "SystemText.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <type_traits>

namespace SystemText {

namespace {

struct FreeDeleter {
    void operator()(void* memory) const { std::free(memory); }
};

// strerror_r comes in two forms: the XSI one answers a status and fills the
// buffer, the GNU one answers the text, which need not be in the buffer.
template <class Answer>
std::string strerrorText(Answer answer, const char* buffer) {
    if constexpr (std::is_same_v<Answer, int>) {
        return answer == 0 ? buffer : "";
    } else {
        return answer ? answer : "";
    }
}

} // namespace

std::string toAnsiCodePage(const tstring& text) { return tstrings::toUtf8(text); }
tstring fromAnsiCodePage(const std::string& text) { return tstrings::fromUtf8(text); }

std::string errnoDescription(int code) {
    char buffer[2048] = {};
    return strerrorText(::strerror_r(code, buffer, sizeof(buffer)), buffer);
}

std::optional<tstring> formatWide(const wchar_t* format, va_list args) {
    // A memory stream grows to what the text needs, and the formatter's
    // answer tells a broken format apart.
    wchar_t* text = nullptr;
    size_t length = 0;
    FILE* stream = ::open_wmemstream(&text, &length);
    if (!stream) {
        throw std::bad_alloc();
    }
    va_list passArgs;
    va_copy(passArgs, args);
    const int count = std::vfwprintf(stream, format, passArgs);
    va_end(passArgs);
    std::fclose(stream);
    const std::unique_ptr<wchar_t, FreeDeleter> owner(text);
    if (count < 0) {
        return std::nullopt;
    }
    return tstring(text, length);
}

} // namespace SystemText
