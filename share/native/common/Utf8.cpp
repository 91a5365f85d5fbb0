// UTF-8 for either width of wchar_t, with the rules of the Windows converter:
// ill-formed input gives nothing rather than a partial text, and an unpaired
// surrogate on the way out becomes U+FFFD.
#include "tstrings.h"

#include <optional>

namespace tstrings {

namespace {

constexpr bool wideIsUtf16 = sizeof(wchar_t) == 2;
constexpr char32_t replacementCharacter = 0xFFFD;
constexpr char32_t lastCodePoint = 0x10FFFF;

bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

char32_t unitValue(wchar_t unit) {
    // wchar_t is signed on some platforms: a negative unit must not pass for
    // a small one.
    return static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(unit));
}

// The code point at `position`, which moves past it.
char32_t nextCodePoint(const tstring& text, size_t& position) {
    const char32_t unit = unitValue(text[position++]);
    if constexpr (wideIsUtf16) {
        if (isHighSurrogate(unit) && position < text.size()) {
            const char32_t low = unitValue(text[position]);
            if (isLowSurrogate(low)) {
                ++position;
                return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            }
        }
    }
    return isSurrogate(unit) || unit > lastCodePoint ? replacementCharacter : unit;
}

void appendWide(tstring& out, char32_t c) {
    if constexpr (wideIsUtf16) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(c);
}

} // namespace

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    const int continuations = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static const unsigned char leads[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(leads[continuations] | (c >> (6 * continuations)));
    for (int shift = 6 * (continuations - 1); shift >= 0; shift -= 6) {
        out += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
    }
}

std::optional<char32_t> decodeUtf8(const std::string& bytes, size_t& position) {
    const unsigned char lead = static_cast<unsigned char>(bytes[position++]);
    if (lead < 0x80) {
        return lead;
    }
    size_t continuations = 0;
    char32_t c = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuations = 1;
        c = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuations = 2;
        c = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuations = 3;
        c = lead & 0x07;
        smallest = 0x10000;
    } else {
        return std::nullopt;
    }
    if (bytes.size() - position < continuations) {
        return std::nullopt;
    }
    for (size_t i = 0; i < continuations; ++i) {
        const unsigned char byte = static_cast<unsigned char>(bytes[position++]);
        if ((byte & 0xC0) != 0x80) {
            return std::nullopt;
        }
        c = (c << 6) | (byte & 0x3F);
    }
    if (c < smallest || c > lastCodePoint || isSurrogate(c)) {
        return std::nullopt;
    }
    return c;
}

std::string toUtf8(const tstring& text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (size_t position = 0; position < text.size();) {
        appendUtf8(utf8, nextCodePoint(text, position));
    }
    return utf8;
}

std::string toUtf8KeepingBytes(const tstring& text) {
    if (wideIsUtf16) {
        return toUtf8(text);
    }
    std::string utf8;
    utf8.reserve(text.size());
    for (size_t position = 0; position < text.size();) {
        const auto unit = static_cast<char32_t>(text[position]);
        if (unit >= 0xDC80 && unit <= 0xDCFF) {
            utf8 += static_cast<char>(unit - 0xDC00);
            ++position;
        } else {
            appendUtf8(utf8, nextCodePoint(text, position));
        }
    }
    return utf8;
}

tstring fromUtf8(const std::string& text) {
    tstring wide;
    wide.reserve(text.size());
    for (size_t position = 0; position < text.size();) {
        const std::optional<char32_t> c = decodeUtf8(text, position);
        if (!c) {
            return tstring();
        }
        appendWide(wide, *c);
    }
    return wide;
}

} // namespace tstrings
