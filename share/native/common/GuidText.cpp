#include "GuidText.h"

namespace {

// Where the braced form has its dashes.
bool isDash(size_t position) { return position == 9 || position == 14 || position == 19 || position == 24; }

bool isHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

} // namespace

std::optional<tstring> canonicalGuid(const tstring& text) {
    size_t begin = 0;
    size_t end = text.size();
    if (end >= 2 && text.front() == L'{' && text.back() == L'}') {
        ++begin;
        --end;
    }
    const bool dashed = end - begin == 36;
    if (!dashed && end - begin != 32) {
        return std::nullopt;
    }
    tstring braced = L"{";
    for (size_t i = begin; i < end; ++i) {
        if (isDash(braced.size())) {
            braced += L'-';
            if (dashed) {
                if (text[i] != L'-') {
                    return std::nullopt;
                }
                continue;
            }
        }
        if (!isHexDigit(text[i])) {
            return std::nullopt;
        }
        braced += text[i];
    }
    braced += L'}';
    return tstrings::toUpper(braced);
}
