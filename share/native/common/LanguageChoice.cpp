#include "LanguageChoice.h"

#include "ErrorHandling.h"

#include <algorithm>
#include <iterator>

namespace LanguageChoice {

namespace {

constexpr uint32_t primaryMask = 0x3FF;
constexpr uint32_t neutral = 0x00;
constexpr uint32_t invariant = 0x7F;
constexpr uint32_t chinese = 0x04;

uint32_t primary(uint32_t language) { return language & primaryMask; }

// zh-TW, zh-HK, zh-MO and the neutral zh-Hant; every other Chinese LANGID is
// written in Simplified characters.
bool isTraditionalChinese(LanguageId language) {
    return language == 0x0404 || language == 0x0C04 || language == 0x1404 || language == 0x7C04;
}

bool standsInFor(LanguageId offered, LanguageId wanted) {
    return primary(offered) == primary(wanted) &&
           (primary(wanted) != chinese || isTraditionalChinese(offered) == isTraditionalChinese(wanted));
}

// An item as the message quotes it: enough to recognise, never a whole
// resource of rubbish, and any byte that is no printable ASCII (a NUL, say,
// which would end the message) as "\xHH".
std::string shown(const std::string& item) {
    constexpr size_t most = 20;
    std::string text;
    for (size_t i = 0; i < item.size() && i < most; ++i) {
        const auto byte = static_cast<unsigned char>(item[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            text += static_cast<char>(byte);
        } else {
            text += "\\x";
            text += "0123456789ABCDEF"[byte >> 4];
            text += "0123456789ABCDEF"[byte & 0xF];
        }
    }
    return item.size() <= most ? text : text + "...";
}

LanguageId parseItem(const std::string& list, const std::string& item, size_t number) {
    if (item.empty()) {
        VK_THROW_MSG("The list of languages has an empty item (item " << number << " of \""
                                                                      << shown(list) << "\")");
    }
    if (item.find_first_not_of("0123456789") != std::string::npos) {
        VK_THROW_MSG("The list of languages holds \"" << shown(item) << "\" (item " << number
                                                      << "), which is no decimal number");
    }
    if (item.size() > 1 && item[0] == '0') {
        VK_THROW_MSG("The list of languages holds \"" << shown(item) << "\" (item " << number
                                                      << "), a number with a leading zero");
    }
    uint32_t value = 0;
    for (const char digit : item) {
        value = value * 10 + static_cast<uint32_t>(digit - '0');
        if (value > 0xFFFF) {
            break;
        }
    }
    if (!isLanguage(value)) {
        VK_THROW_MSG("The list of languages holds " << shown(item) << " (item " << number
                                                    << "), which is no language ID");
    }
    return static_cast<LanguageId>(value);
}

} // namespace

bool isLanguage(uint32_t value) {
    return value <= 0xFFFF && primary(value) != neutral && primary(value) != invariant;
}

std::vector<LanguageId> parseList(const std::string& text) {
    std::vector<LanguageId> languages;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(',', start);
        const LanguageId language =
            parseItem(text, text.substr(start, end == std::string::npos ? std::string::npos : end - start),
                      languages.size() + 1);
        if (std::find(languages.begin(), languages.end(), language) != languages.end()) {
            VK_THROW_MSG("The list of languages names " << language << " twice (item "
                                                        << languages.size() + 1 << ")");
        }
        languages.push_back(language);
        if (end == std::string::npos) {
            return languages;
        }
        start = end + 1;
    }
}

Choice choose(const std::vector<LanguageId>& preferred, const std::vector<LanguageId>& offered) {
    for (const LanguageId wanted : preferred) {
        if (std::find(offered.begin(), offered.end(), wanted) != offered.end()) {
            return {wanted, Reason::Exact, wanted, wanted == offered.front()};
        }
    }
    for (const LanguageId wanted : preferred) {
        const auto variant = std::find_if(offered.begin(), offered.end(),
                                          [&](LanguageId language) { return standsInFor(language, wanted); });
        if (variant != offered.end()) {
            return {*variant, Reason::Primary, wanted, *variant == offered.front()};
        }
    }
    return {offered.front(), Reason::Base, 0, true};
}

tstring describe(LanguageId language) {
    tstring hex = L"0x0000";
    unsigned rest = language;
    for (size_t digit = hex.size(); digit-- > 2; rest >>= 4) {
        hex[digit] = L"0123456789ABCDEF"[rest & 0xF];
    }
    return (tstrings::TextBuilder() << language << " (" << hex << ")").str();
}

tstring describe(const std::vector<LanguageId>& languages) {
    if (languages.empty()) {
        return L"none";
    }
    tstring_array items;
    std::transform(languages.begin(), languages.end(), std::back_inserter(items),
                   [](LanguageId language) { return describe(language); });
    return tstrings::join(items, L", ");
}

tstring describe(const Choice& choice) {
    switch (choice.reason) {
    case Reason::Exact:
        return L"an exact match for " + describe(choice.wanted);
    case Reason::Primary:
        return L"the same primary language as " + describe(choice.wanted);
    case Reason::Base:
        break;
    }
    return L"the base language: no match for any of the user's languages";
}

tstring transformsProperty(LanguageId language) {
    return (tstrings::TextBuilder("TRANSFORMS=:") << language).str();
}

} // namespace LanguageChoice
