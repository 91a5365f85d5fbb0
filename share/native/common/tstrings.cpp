#include "tstrings.h"

#include "ErrorHandling.h"
#include "WindowsApi.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <ostream>
#include <stdexcept>

namespace tstrings {

namespace {

int checkedLength(size_t length) {
    if (length > static_cast<size_t>(INT_MAX)) {
        VK_THROW_MSG("Text too long to convert: " << length << " units");
    }
    return static_cast<int>(length);
}

std::string toMultiByte(const tstring& text, UINT codePage) {
    if (text.empty()) {
        return std::string();
    }
    const int length = checkedLength(text.size());
    const int size = ::WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0,
                                           nullptr, nullptr);
    if (size < 0) {
        VK_THROW_MSG("Unexpected reply from WideCharToMultiByte()");
    }
    if (size == 0) {
        return std::string();
    }
    std::string result(static_cast<size_t>(size), '\0');
    if (::WideCharToMultiByte(codePage, 0, text.data(), length, &result[0], size, nullptr,
                              nullptr) != size) {
        VK_THROW_MSG("Unexpected reply from WideCharToMultiByte()");
    }
    return result;
}

tstring fromMultiByte(const std::string& text, UINT codePage) {
    if (text.empty()) {
        return tstring();
    }
    const int length = checkedLength(text.size());
    const int size = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length,
                                           nullptr, 0);
    if (size < 0) {
        VK_THROW_MSG("Unexpected reply from MultiByteToWideChar()");
    }
    if (size == 0) {
        return tstring();
    }
    tstring result(static_cast<size_t>(size), L'\0');
    if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length, &result[0],
                              size) != size) {
        VK_THROW_MSG("Unexpected reply from MultiByteToWideChar()");
    }
    return result;
}

} // namespace

std::string toUtf8(const tstring& text) { return toMultiByte(text, CP_UTF8); }
tstring fromUtf8(const std::string& text) { return fromMultiByte(text, CP_UTF8); }
std::string toACP(const tstring& text) { return toMultiByte(text, CP_ACP); }
tstring fromACP(const std::string& text) { return fromMultiByte(text, CP_ACP); }

tstring format(const wchar_t* format, ...) {
    if (!format) {
        throw std::invalid_argument("Destination buffer can't be NULL");
    }
    va_list args;
    va_start(args, format);
    // The formatter answers -1 both for "no room" and for a broken format;
    // measuring first tells the two apart, so the passes below always end.
    va_list measureArgs;
    va_copy(measureArgs, args);
    const int needed = _vscwprintf(format, measureArgs);
    va_end(measureArgs);
    if (needed < 0) {
        va_end(args);
        VK_THROW_MSG("Invalid format string: " << format);
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
    va_end(args);
    buffer.resize(static_cast<size_t>(count));
    return buffer;
}

namespace {

tstring shiftAsciiLetters(const tstring& text, wchar_t first, wchar_t last, wchar_t shift) {
    tstring result = text;
    for (wchar_t& c : result) {
        if (c >= first && c <= last) {
            c = static_cast<wchar_t>(c + shift);
        }
    }
    return result;
}

} // namespace

tstring toLower(const tstring& text) { return shiftAsciiLetters(text, L'A', L'Z', L'a' - L'A'); }

tstring toUpper(const tstring& text) { return shiftAsciiLetters(text, L'a', L'z', L'A' - L'a'); }

bool equals(const tstring& a, const tstring& b, CompareType mode) {
    if (mode == IgnoreCase) {
        return toLower(a) == toLower(b);
    }
    return a == b;
}

bool startsWith(const tstring& text, const tstring& prefix, CompareType mode) {
    if (text.size() < prefix.size()) {
        return false;
    }
    return equals(text.substr(0, prefix.size()), prefix, mode);
}

bool endsWith(const tstring& text, const tstring& suffix, CompareType mode) {
    if (text.size() < suffix.size()) {
        return false;
    }
    return equals(text.substr(text.size() - suffix.size()), suffix, mode);
}

tstring trim(const tstring& text, const tstring& characters) {
    const size_t first = text.find_first_not_of(characters);
    if (first == tstring::npos) {
        return characters.empty() ? text : tstring();
    }
    const size_t last = text.find_last_not_of(characters);
    return text.substr(first, last - first + 1);
}

tstring replace(const tstring& text, const tstring& search, const tstring& replacement) {
    if (search.empty()) {
        return text;
    }
    tstring result = text;
    size_t position = 0;
    while ((position = result.find(search, position)) != tstring::npos) {
        result.replace(position, search.size(), replacement);
        position += replacement.size();
    }
    return result;
}

TextBuilder::TextBuilder(const tstring& first) { out_ << first; }
TextBuilder::TextBuilder(const char* first) { *this << first; }
TextBuilder::TextBuilder(const std::string& first) { *this << first; }

TextBuilder::TextBuilder(const TextBuilder& other) { out_ << other.out_.str(); }

TextBuilder& TextBuilder::operator=(const TextBuilder& other) {
    if (this != &other) {
        out_.str(other.out_.str());
        out_.seekp(0, std::ios_base::end);
    }
    return *this;
}

TextBuilder& TextBuilder::operator<<(const std::string& piece) {
    const tstring decoded = fromUtf8(piece);
    if (decoded.empty() && !piece.empty()) {
        for (const char c : piece) {
            out_ << static_cast<wchar_t>(static_cast<unsigned char>(c));
        }
    } else {
        out_ << decoded;
    }
    return *this;
}

TextBuilder& TextBuilder::operator<<(const char* piece) {
    return *this << std::string(piece ? piece : "NULL");
}

TextBuilder& TextBuilder::operator<<(const tstring& piece) {
    out_ << piece;
    return *this;
}

TextBuilder& TextBuilder::operator<<(const wchar_t* piece) {
    out_ << (piece ? piece : L"NULL");
    return *this;
}

TextBuilder& TextBuilder::operator<<(wchar_t piece) {
    out_ << piece;
    return *this;
}

TextBuilder& TextBuilder::operator<<(const TextBuilder& other) {
    out_ << other.out_.str();
    return *this;
}

TextBuilder& TextBuilder::operator<<(bool value) {
    out_ << (value ? L"1" : L"0");
    return *this;
}

TextBuilder& TextBuilder::operator<<(const void* pointer) {
    out_ << pointer;
    return *this;
}

std::ostream& operator<<(std::ostream& stream, const TextBuilder& text) {
    return stream << text.utf8();
}

} // namespace tstrings
