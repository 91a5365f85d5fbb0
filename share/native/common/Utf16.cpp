// UTF-16 for file formats, apart from the UTF-8 conversions: a program that
// converts only to and from UTF-8 (the setup stub) does not carry it.
#include "tstrings.h"

#include <type_traits>

namespace tstrings {

std::u16string toUtf16(const tstring& text) {
    std::u16string units;
    units.reserve(text.size());
    for (const wchar_t unit : text) {
        char32_t c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(unit));
        if (c >= 0x10000) {
            c -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (c >> 10));
            units += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            units += static_cast<char16_t>(c);
        }
    }
    return units;
}

} // namespace tstrings
