#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

// All text inside the system: on Windows UTF-16 code units, the form the wide
// API takes and gives; where wchar_t is 32 bits wide, one code point per
// unit. Narrow text appears only at the edges and is UTF-8.
using tstring = std::wstring;
using tstring_array = std::vector<tstring>;

namespace tstrings {

// Gives the empty text for bytes that are not well-formed UTF-8.
tstring fromUtf8(const std::string& text);
// An unpaired surrogate, or a unit that is no character, becomes U+FFFD.
std::string toUtf8(const tstring& text);
// For messages: the same, but where wchar_t has 32 bits (Linux), U+DC80 to
// U+DCFF, which stand there for the bytes of a file name that were no UTF-8,
// become those bytes again, and a message shows each as "\xFF", not as
// U+FFFD.
std::string toUtf8KeepingBytes(const tstring& text);
// The text as UTF-16 code units, the form Windows file formats store: as it
// is where wchar_t has 16 bits; where it has 32, a unit beyond U+FFFF
// becomes its surrogate pair.
std::u16string toUtf16(const tstring& text);

// The pieces of the UTF-8 conversions, for text that must keep bytes those
// refuse: the code point of the sequence at `position`, which moves past it,
// or nothing for a sequence that is cut short, overlong, a surrogate or past
// U+10FFFF, or a byte that cannot start one (`position` then is undefined);
// and a code point appended as UTF-8.
std::optional<char32_t> decodeUtf8(const std::string& bytes, size_t& position);
void appendUtf8(std::string& out, char32_t codePoint);
// Each byte as the character of the same number (Latin-1): for bytes that
// must be shown, or handed on, whatever they hold.
tstring widenBytes(const std::string& bytes);
// The system's ANSI code page; UTF-8 where the system has none.
tstring fromACP(const std::string& text);
std::string toACP(const tstring& text);

// printf-style formatting into a tstring of any length, by the platform's
// wide formatter: "%ls" is a wide string everywhere, while "%s" is one only
// on Windows.
tstring format(const wchar_t* format, ...);

enum CompareType { CaseSensitive = 0, IgnoreCase = 1 };

bool equals(const tstring& a, const tstring& b, CompareType mode = CaseSensitive);
bool startsWith(const tstring& text, const tstring& prefix, CompareType mode = CaseSensitive);
bool endsWith(const tstring& text, const tstring& suffix, CompareType mode = CaseSensitive);

// Lowers the ASCII letters only.
tstring toLower(const tstring& text);
// Raises the ASCII letters only.
tstring toUpper(const tstring& text);
std::u16string toUpper(const std::u16string& text);
tstring trim(const tstring& text, const tstring& characters);
// Replaces from left to right; text brought in by a replacement is never
// searched again.
tstring replace(const tstring& text, const tstring& search, const tstring& replacement);

template <class Iterator>
tstring join(Iterator first, Iterator last, const tstring& separator) {
    tstring joined;
    if (first != last) {
        joined += *first;
        for (++first; first != last; ++first) {
            joined += separator;
            joined += *first;
        }
    }
    return joined;
}

template <class Range>
tstring join(const Range& items, const tstring& separator) {
    return join(std::begin(items), std::end(items), separator);
}

// The builder through which every error and log message is composed.
class TextBuilder {
public:
    TextBuilder() = default;
    explicit TextBuilder(const tstring& first);
    explicit TextBuilder(const char* first);
    explicit TextBuilder(const std::string& first);

    // Narrow pieces are message literals or exception texts: UTF-8 is decoded,
    // anything else is widened byte by byte so that no text is lost.
    TextBuilder& operator<<(const char* piece);
    TextBuilder& operator<<(const std::string& piece);
    TextBuilder& operator<<(const tstring& piece);
    // A null pointer appends "NULL".
    TextBuilder& operator<<(const wchar_t* piece);
    TextBuilder& operator<<(wchar_t piece);
    TextBuilder& operator<<(const TextBuilder& other);
    // "1" or "0".
    TextBuilder& operator<<(bool value);
    // "0x" and lower-case hexadecimal digits; "0" for null.
    TextBuilder& operator<<(const void* pointer);

    // Decimal, without grouping, whatever the integer's width and sign.
    template <class T,
              class = std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                       !std::is_same_v<T, char> && !std::is_same_v<T, wchar_t>>>
    TextBuilder& operator<<(T value) {
        if constexpr (std::is_signed_v<T>) {
            appendSigned(static_cast<long long>(value));
        } else {
            appendUnsigned(static_cast<unsigned long long>(value));
        }
        return *this;
    }

    tstring str() const { return text_; }
    // A message's text: see toUtf8KeepingBytes.
    std::string utf8() const { return toUtf8KeepingBytes(text_); }

private:
    void appendSigned(long long value);
    void appendUnsigned(unsigned long long value);

    tstring text_;
};

// Writes the builder's UTF-8 form. Defined apart from the builder, so that a
// program that never writes one to a stream links no stream library.
std::ostream& operator<<(std::ostream& stream, const TextBuilder& text);

} // namespace tstrings
