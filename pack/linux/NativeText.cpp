#include "NativeText.h"

namespace {

constexpr uint32_t escapeBase = 0xDC00;

// The length of the valid UTF-8 sequence at `at`, and its code point; 0 for
// none (overlong forms, surrogates and values beyond U+10FFFF are invalid).
size_t decode(const std::string& bytes, size_t at, uint32_t& point) {
    const auto byte = [&bytes](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    const uint8_t lead = byte(at);
    size_t length = 0;
    uint32_t least = 0;
    if (lead < 0x80) {
        point = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, point = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, point = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, point = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        point = point << 6 | (byte(at + i) & 0x3F);
    }
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
        return 0;
    }
    return length;
}

void encode(uint32_t point, std::string& out) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | point >> 6);
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | point >> 12);
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | point >> 18);
        out += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

} // namespace

tstring fromNative(const std::string& bytes) {
    tstring text;
    for (size_t at = 0; at < bytes.size();) {
        uint32_t point = 0;
        const size_t length = decode(bytes, at, point);
        if (length == 0) {
            text += static_cast<wchar_t>(escapeBase + static_cast<uint8_t>(bytes[at]));
            ++at;
        } else {
            text += static_cast<wchar_t>(point);
            at += length;
        }
    }
    return text;
}

std::string toNative(const tstring& text) {
    std::string bytes;
    for (const wchar_t c : text) {
        const auto point = static_cast<uint32_t>(c);
        if (point >= escapeBase + 0x80 && point <= escapeBase + 0xFF) {
            bytes += static_cast<char>(point - escapeBase);
        } else {
            encode(point, bytes);
        }
    }
    return bytes;
}
