#include "GuidText.h"

namespace {

constexpr size_t bracedLength = 38;
constexpr size_t dashes[] = {9, 14, 19, 24};

bool isHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

bool isDash(size_t position) {
    for (const size_t dash : dashes) {
        if (position == dash) {
            return true;
        }
    }
    return false;
}

} // namespace

std::optional<tstring> canonicalGuid(const tstring& text) {
    tstring braced = text;
    if (text.size() != bracedLength || text.front() != L'{' || text.back() != L'}') {
        if (text.size() >= 32 && text.front() != L'{' && text.back() != L'}') {
            braced = L"{" + text + L"}";
        }
        if (text.size() >= 32 && text.find(L'-') == tstring::npos) {
            for (const size_t dash : dashes) {
                braced.insert(dash, 1, L'-');
            }
        }
    }
    if (braced.size() != bracedLength || braced.front() != L'{' || braced.back() != L'}') {
        return std::nullopt;
    }
    for (size_t i = 1; i + 1 < braced.size(); ++i) {
        if (isDash(i) ? braced[i] != L'-' : !isHexDigit(braced[i])) {
            return std::nullopt;
        }
    }
    return tstrings::toUpper(braced);
}
