#include "WindowsFileName.h"

#include "ErrorHandling.h"
#include "PathUtils.h"

#include <algorithm>
#include <iterator>

namespace WindowsFileName {

namespace {

constexpr size_t longestName = 255;

// The part of a name that Windows matches against the devices' names: up to
// the first dot, without the blanks before it ("CON .txt" is CON too).
tstring deviceStem(const tstring& name) {
    tstring stem = name.substr(0, std::min(name.find(L'.'), name.size()));
    stem.erase(stem.find_last_not_of(L' ') + 1);
    return tstrings::toUpper(stem);
}

bool isDevice(const tstring& stem) {
    static const wchar_t* const devices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    static const tstring numbers = L"0123456789\u00B9\u00B2\u00B3";
    if (std::find(std::begin(devices), std::end(devices), stem) != std::end(devices)) {
        return true;
    }
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           numbers.find(stem[3]) != tstring::npos;
}

tstring hex(unsigned value) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    return tstring(L"0x") + digits[(value >> 4) & 0xF] + digits[value & 0xF];
}

} // namespace

tstring problemWith(const tstring& name) {
    if (name.empty()) {
        return L"it is empty";
    }
    const size_t units = tstrings::toUtf16(name).size();
    if (units > longestName) {
        return L"it has " + std::to_wstring(units) + L" characters, and Windows takes " +
               std::to_wstring(longestName) + L" at most";
    }
    // A lone surrogate stands for a byte that is no UTF-8 (a Linux name's),
    // which no description can carry as text.
    const std::u16string text = tstrings::toUtf16(name);
    for (size_t i = 0; i < text.size(); ++i) {
        const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || (text[i] >= 0xDC00 && text[i] <= 0xDFFF)) {
            return L"it holds bytes that are no UTF-8 text";
        }
    }
    static const tstring reserved = L"<>:\"/\\|?*";
    for (const wchar_t c : name) {
        if (static_cast<unsigned>(c) < 0x20) {
            return L"it holds the control character " + hex(static_cast<unsigned>(c));
        }
        if (reserved.find(c) != tstring::npos) {
            return tstring(L"it holds the character ") + c + L", which Windows reserves";
        }
    }
    if (name.back() == L'.') {
        return L"it ends with a dot, which Windows drops";
    }
    if (name.back() == L' ') {
        return L"it ends with a blank, which Windows drops";
    }
    const tstring stem = deviceStem(name);
    if (isDevice(stem)) {
        return stem + L" is the name of a device there, with or without an extension";
    }
    return tstring();
}

void require(const tstring& name, const std::string& what) {
    const tstring problem = problemWith(name);
    if (!problem.empty()) {
        VK_THROW_MSG(what << " '" << name << "' is no file name that Windows can hold: " << problem);
    }
}

tstring leafOf(const tstring& path) {
#ifdef _WIN32
    return FileUtils::leafName(path);
#else
    return path.substr(path.rfind(L'/') + 1);
#endif
}

} // namespace WindowsFileName
