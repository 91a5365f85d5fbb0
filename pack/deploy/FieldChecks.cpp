#include "FieldChecks.h"

#include "ErrorHandling.h"

namespace FieldChecks {

size_t length(const tstring& text) {
    size_t count = 0;
    for (const char16_t unit : tstrings::toUtf16(text)) {
        count += unit < 0xDC00 || unit > 0xDFFF ? 1 : 0;
    }
    return count;
}

void requireLength(const tstring& value, size_t least, size_t most, const std::string& what) {
    const size_t size = length(value);
    if (size < least || size > most) {
        VK_THROW_MSG(what << " must have " << least << " to " << most << " characters; it has " << size);
    }
}

bool isWebAddress(const tstring& url) {
    const tstring lower = tstrings::toLower(url);
    if (lower.rfind(L"https://", 0) != 0 && lower.rfind(L"http://", 0) != 0) {
        return false;
    }
    for (const wchar_t c : url) {
        if (c <= 0x20 || c == 0x7F) {
            return false;
        }
    }
    return url.size() <= 2048 && lower.size() > lower.find(L"://") + 3;
}

FileContents readSetup(const tstring& setup, const std::string& product) {
    FileContents contents = readFileContents(setup);
    if (!contents.isSetup) {
        VK_THROW_MSG(setup << " is a package: " << product << " a setup executable made from one");
    }
    if (!contents.productCodeMatches) {
        VK_THROW_MSG("The product code resource of " << setup << " does not name the product of its package");
    }
    return contents;
}

} // namespace FieldChecks
