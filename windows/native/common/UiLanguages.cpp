#include "UiLanguages.h"

#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <algorithm>
#include <cwchar>

namespace SysInfo {

namespace {

void addOnce(std::vector<uint16_t>& languages, uint16_t language) {
    if (std::find(languages.begin(), languages.end(), language) == languages.end()) {
        languages.push_back(language);
    }
}

// MUI_LANGUAGE_ID's form: each language as four hexadecimal digits, each
// followed by a NUL, and one more NUL at the end.
std::vector<wchar_t> preferredLanguageIds() {
    ULONG count = 0;
    ULONG size = 0;
    if (!::GetUserPreferredUILanguages(MUI_LANGUAGE_ID, &count, nullptr, &size)) {
        VK_THROW_LAST_ERROR(::GetUserPreferredUILanguages, "GetUserPreferredUILanguages() failed");
    }
    std::vector<wchar_t> buffer(size + 1, L'\0');
    if (!::GetUserPreferredUILanguages(MUI_LANGUAGE_ID, &count, buffer.data(), &size)) {
        VK_THROW_LAST_ERROR(::GetUserPreferredUILanguages, "GetUserPreferredUILanguages() failed");
    }
    return buffer;
}

} // namespace

std::vector<uint16_t> getUserUiLanguages() {
    std::vector<uint16_t> languages;
    const std::vector<wchar_t> ids = preferredLanguageIds();
    for (const wchar_t* id = ids.data(); *id != L'\0'; id += ::wcslen(id) + 1) {
        wchar_t* end = nullptr;
        const unsigned long language = ::wcstoul(id, &end, 16);
        // The system lists LANGIDs only; anything else would name no language.
        if (*end == L'\0' && language != 0 && language <= 0xFFFF) {
            addOnce(languages, static_cast<uint16_t>(language));
        }
    }
    addOnce(languages, ::GetUserDefaultUILanguage());
    addOnce(languages, ::GetSystemDefaultUILanguage());
    return languages;
}

} // namespace SysInfo
