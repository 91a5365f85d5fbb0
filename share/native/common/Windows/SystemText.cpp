// The Windows half of SystemText: the Windows API's code page conversions and
// the C runtime's secure functions.
#include "SystemText.h"

#include "ErrorHandling.h"
#include "WindowsApi.h"

#include <climits>
#include <cstdio>
#include <cwchar>

namespace SystemText {

namespace {

int checkedLength(size_t length) {
    if (length > static_cast<size_t>(INT_MAX)) {
        VK_THROW_MSG("Text too long to convert: " << length << " units");
    }
    return static_cast<int>(length);
}

} // namespace

std::string toAnsiCodePage(const tstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int length = checkedLength(text.size());
    const int size =
        ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size < 0) {
        VK_THROW_MSG("Unexpected reply from WideCharToMultiByte()");
    }
    if (size == 0) {
        return std::string();
    }
    std::string result(static_cast<size_t>(size), '\0');
    if (::WideCharToMultiByte(CP_ACP, 0, text.data(), length, &result[0], size, nullptr,
                              nullptr) != size) {
        VK_THROW_MSG("Unexpected reply from WideCharToMultiByte()");
    }
    return result;
}

tstring fromAnsiCodePage(const std::string& text) {
    if (text.empty()) {
        return tstring();
    }
    const int length = checkedLength(text.size());
    const int size =
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (size < 0) {
        VK_THROW_MSG("Unexpected reply from MultiByteToWideChar()");
    }
    if (size == 0) {
        return tstring();
    }
    tstring result(static_cast<size_t>(size), L'\0');
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, &result[0],
                              size) != size) {
        VK_THROW_MSG("Unexpected reply from MultiByteToWideChar()");
    }
    return result;
}

std::string errnoDescription(int code) {
    wchar_t buffer[2048] = {};
    if (_wcserror_s(buffer, sizeof(buffer) / sizeof(buffer[0]), code) != 0) {
        return std::string();
    }
    return tstrings::toUtf8(buffer);
}

std::optional<tstring> formatWide(const wchar_t* format, va_list args) {
    // The formatter answers -1 both for "no room" and for a broken format;
    // measuring first tells the two apart, so the passes below always end.
    va_list measureArgs;
    va_copy(measureArgs, args);
    const int needed = _vscwprintf(format, measureArgs);
    va_end(measureArgs);
    if (needed < 0) {
        return std::nullopt;
    }

    constexpr size_t step = 256;
    tstring buffer;
    int count = -1;
    while (count < 0) {
        buffer.resize(buffer.size() + step, L'\0');
        va_list passArgs;
        va_copy(passArgs, args);
        count = _vsnwprintf_s(&buffer[0], buffer.size(), _TRUNCATE, format, passArgs);
        va_end(passArgs);
    }
    buffer.resize(static_cast<size_t>(count));
    return buffer;
}

} // namespace SystemText
