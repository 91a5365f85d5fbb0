#include "NativeText.h"

#include <optional>

namespace {

constexpr uint32_t escapeBase = 0xDC00;

} // namespace

tstring fromNative(const std::string& bytes) {
    tstring text;
    for (size_t at = 0; at < bytes.size();) {
        size_t next = at;
        const std::optional<char32_t> point = tstrings::decodeUtf8(bytes, next);
        if (point) {
            text += static_cast<wchar_t>(*point);
            at = next;
        } else {
            text += static_cast<wchar_t>(escapeBase + static_cast<uint8_t>(bytes[at]));
            ++at;
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
            tstrings::appendUtf8(bytes, point);
        }
    }
    return bytes;
}
