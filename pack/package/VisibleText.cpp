#include "VisibleText.h"

#include "tstrings.h"

#include <cstdio>
#include <optional>

namespace {

bool isHidden(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

} // namespace

std::string visibleText(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        size_t next = at;
        const std::optional<char32_t> c = tstrings::decodeUtf8(utf8, next);
        char escape[16];
        if (!c) {
            std::snprintf(escape, sizeof(escape), "\\x%02X", static_cast<unsigned>(static_cast<uint8_t>(utf8[at])));
            out += escape;
            ++at;
        } else if (isHidden(*c)) {
            std::snprintf(escape, sizeof(escape), *c < 0x80 ? "\\x%02X" : "\\u%04X", static_cast<unsigned>(*c));
            out += escape;
            at = next;
        } else {
            out.append(utf8, at, next - at);
            at = next;
        }
    }
    return out;
}

tstring excerpt(const tstring& value, size_t limit) {
    if (value.size() <= limit) {
        return value;
    }
    size_t end = limit;
    // Never half of a UTF-16 surrogate pair.
    const auto unit = static_cast<uint32_t>(value[end]);
    if (unit >= 0xDC00 && unit <= 0xDFFF && end > 0) {
        --end;
    }
    return value.substr(0, end) + L"...";
}
