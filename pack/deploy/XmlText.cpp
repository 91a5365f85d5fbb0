#include "XmlText.h"

#include "ErrorHandling.h"

#include <cstdio>

namespace XmlText {

std::string escaped(const tstring& text, const std::string& what) {
    const std::string utf8 = tstrings::toUtf8(text);
    std::string out;
    for (size_t position = 0; position < utf8.size();) {
        // toUtf8 made every sequence whole.
        const char32_t c = tstrings::decodeUtf8(utf8, position).value_or(0xFFFD);
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        case '\r':
            out += "&#xD;";
            break;
        default:
            if ((c < 0x20 && c != '\t' && c != '\n') || c == 0xFFFE || c == 0xFFFF) {
                char code[12];
                std::snprintf(code, sizeof(code), "U+%04X", static_cast<unsigned>(c));
                VK_THROW_MSG(what << " holds the character " << code << ", which XML cannot carry");
            }
            tstrings::appendUtf8(out, c);
        }
    }
    return out;
}

} // namespace XmlText
