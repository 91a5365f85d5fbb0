#pragma once

#include <cstdint>
#include <iosfwd>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

// All text inside the system: UTF-16 code units, the form the Windows wide
// API takes and gives. Narrow text appears only at the edges and is UTF-8.
using tstring = std::wstring;
using tstring_array = std::vector<tstring>;

namespace tstrings {

tstring fromUtf8(const std::string& text);
std::string toUtf8(const tstring& text);
tstring fromACP(const std::string& text);
std::string toACP(const tstring& text);

// printf-style formatting into a tstring of any length.
tstring format(const wchar_t* format, ...);

enum CompareType { CaseSensitive = 0, IgnoreCase = 1 };

bool equals(const tstring& a, const tstring& b, CompareType mode = CaseSensitive);
bool startsWith(const tstring& text, const tstring& prefix, CompareType mode = CaseSensitive);
bool endsWith(const tstring& text, const tstring& suffix, CompareType mode = CaseSensitive);

// Lowers the ASCII letters only.
tstring toLower(const tstring& text);
// Raises the ASCII letters only.
tstring toUpper(const tstring& text);
tstring trim(const tstring& text, const tstring& characters);
// Replaces from left to right; text brought in by a replacement is never
// searched again.
tstring replace(const tstring& text, const tstring& search, const tstring& replacement);

template <class Iterator>
tstring join(Iterator first, Iterator last, const tstring& separator) {
    std::wostringstream out;
    if (first != last) {
        out << *first;
        for (++first; first != last; ++first) {
            out << separator << *first;
        }
    }
    return out.str();
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

    TextBuilder(const TextBuilder& other);
    TextBuilder& operator=(const TextBuilder& other);

    // Narrow pieces are message literals or exception texts: UTF-8 is decoded,
    // anything else is widened byte by byte so that no text is lost.
    TextBuilder& operator<<(const char* piece);
    TextBuilder& operator<<(const std::string& piece);
    TextBuilder& operator<<(const tstring& piece);
    // A null pointer appends "NULL".
    TextBuilder& operator<<(const wchar_t* piece);
    TextBuilder& operator<<(wchar_t piece);
    TextBuilder& operator<<(const TextBuilder& other);
    TextBuilder& operator<<(bool value);
    TextBuilder& operator<<(const void* pointer);

    template <class T,
              class = std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                       !std::is_same_v<T, char> && !std::is_same_v<T, wchar_t>>>
    TextBuilder& operator<<(T value) {
        out_ << value;
        return *this;
    }

    tstring str() const { return out_.str(); }
    std::string utf8() const { return toUtf8(out_.str()); }

private:
    std::wostringstream out_;
};

std::ostream& operator<<(std::ostream& stream, const TextBuilder& text);

} // namespace tstrings
