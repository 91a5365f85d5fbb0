#include "FieldChecks.h"

#include "ErrorHandling.h"
#include "PackFiles.h"

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

void requireText(const tstring& text, const std::string& what) {
    const std::u16string units = tstrings::toUtf16(text);
    for (size_t i = 0; i < units.size(); ++i) {
        const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
        const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || low) {
            VK_THROW_MSG(what << " '" << text << "' holds bytes that are no UTF-8 text");
        }
    }
}

void requireDirectory(const tstring& directory) {
    if (!PackFiles::exists(directory)) {
        VK_THROW_MSG("The output directory " << directory << " does not exist");
    }
    if (!PackFiles::isDirectory(directory)) {
        VK_THROW_MSG("The output " << directory << " is not a directory: -o names the directory that takes "
                                   << "what manifest writes");
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
