#include "tstrings.h"

#include "ErrorHandling.h"
#include "SystemText.h"

#include <cstdarg>
#include <optional>
#include <stdexcept>

namespace tstrings {

tstring fromACP(const std::string& text) { return SystemText::fromAnsiCodePage(text); }
std::string toACP(const tstring& text) { return SystemText::toAnsiCodePage(text); }

tstring format(const wchar_t* format, ...) {
    if (!format) {
        throw std::invalid_argument("Destination buffer can't be NULL");
    }
    va_list args;
    va_start(args, format);
    const std::optional<tstring> formatted = SystemText::formatWide(format, args);
    va_end(args);
    if (!formatted) {
        VK_THROW_MSG("Invalid format string: " << format);
    }
    return *formatted;
}

namespace {

template <class Text>
Text shiftAsciiLetters(const Text& text, char first, char last, int shift) {
    using Unit = typename Text::value_type;
    Text result = text;
    for (Unit& c : result) {
        if (c >= static_cast<Unit>(first) && c <= static_cast<Unit>(last)) {
            c = static_cast<Unit>(c + shift);
        }
    }
    return result;
}

} // namespace

tstring toLower(const tstring& text) { return shiftAsciiLetters(text, 'A', 'Z', 'a' - 'A'); }

tstring toUpper(const tstring& text) { return shiftAsciiLetters(text, 'a', 'z', 'A' - 'a'); }

std::u16string toUpper(const std::u16string& text) { return shiftAsciiLetters(text, 'a', 'z', 'A' - 'a'); }

tstring widenBytes(const std::string& bytes) {
    tstring wide;
    for (const char c : bytes) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return wide;
}

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

TextBuilder::TextBuilder(const tstring& first) : text_(first) {}
TextBuilder::TextBuilder(const char* first) { *this << first; }
TextBuilder::TextBuilder(const std::string& first) { *this << first; }

TextBuilder& TextBuilder::operator<<(const std::string& piece) {
    const tstring decoded = fromUtf8(piece);
    if (decoded.empty() && !piece.empty()) {
        text_ += widenBytes(piece);
    } else {
        text_ += decoded;
    }
    return *this;
}

TextBuilder& TextBuilder::operator<<(const char* piece) {
    return *this << std::string(piece ? piece : "NULL");
}

TextBuilder& TextBuilder::operator<<(const tstring& piece) {
    text_ += piece;
    return *this;
}

TextBuilder& TextBuilder::operator<<(const wchar_t* piece) {
    text_ += piece ? piece : L"NULL";
    return *this;
}

TextBuilder& TextBuilder::operator<<(wchar_t piece) {
    text_ += piece;
    return *this;
}

TextBuilder& TextBuilder::operator<<(const TextBuilder& other) {
    text_ += other.text_;
    return *this;
}

TextBuilder& TextBuilder::operator<<(bool value) {
    text_ += value ? L'1' : L'0';
    return *this;
}

namespace {

// The digits of `value` in `base`, most significant first.
tstring digits(unsigned long long value, unsigned base) {
    // Enough for the longest: 64 binary digits.
    constexpr size_t capacity = 64;
    wchar_t buffer[capacity];
    wchar_t* first = buffer + capacity;
    do {
        *--first = L"0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0);
    return tstring(first, buffer + capacity);
}

} // namespace

TextBuilder& TextBuilder::operator<<(const void* pointer) {
    // The notation of libstdc++'s streams, in which log lines have always
    // shown addresses.
    if (pointer) {
        text_ += L"0x";
    }
    text_ += digits(reinterpret_cast<uintptr_t>(pointer), 16);
    return *this;
}

void TextBuilder::appendUnsigned(unsigned long long value) { text_ += digits(value, 10); }

void TextBuilder::appendSigned(long long value) {
    // Negated as unsigned: the most negative value has no positive twin.
    unsigned long long magnitude = static_cast<unsigned long long>(value);
    if (value < 0) {
        text_ += L'-';
        magnitude = 0 - magnitude;
    }
    appendUnsigned(magnitude);
}

} // namespace tstrings
