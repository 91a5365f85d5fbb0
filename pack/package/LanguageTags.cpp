#include "LanguageTags.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <utility>

namespace {

const std::pair<uint16_t, const char*> tags[] = {
    {0x0401, "ar-SA"}, {0x0402, "bg-BG"}, {0x0403, "ca-ES"}, {0x0404, "zh-TW"}, {0x0405, "cs-CZ"},
    {0x0406, "da-DK"}, {0x0407, "de-DE"}, {0x0408, "el-GR"}, {0x0409, "en-US"}, {0x040B, "fi-FI"},
    {0x040C, "fr-FR"}, {0x040D, "he-IL"}, {0x040E, "hu-HU"}, {0x040F, "is-IS"}, {0x0410, "it-IT"},
    {0x0411, "ja-JP"}, {0x0412, "ko-KR"}, {0x0413, "nl-NL"}, {0x0414, "nb-NO"}, {0x0415, "pl-PL"},
    {0x0416, "pt-BR"}, {0x0418, "ro-RO"}, {0x0419, "ru-RU"}, {0x041A, "hr-HR"}, {0x041B, "sk-SK"},
    {0x041D, "sv-SE"}, {0x041E, "th-TH"}, {0x041F, "tr-TR"}, {0x0421, "id-ID"}, {0x0422, "uk-UA"},
    {0x0424, "sl-SI"}, {0x0425, "et-EE"}, {0x0426, "lv-LV"}, {0x0427, "lt-LT"}, {0x042A, "vi-VN"},
    {0x0804, "zh-CN"}, {0x0807, "de-CH"}, {0x0809, "en-GB"}, {0x080A, "es-MX"}, {0x080C, "fr-BE"},
    {0x0810, "it-CH"}, {0x0813, "nl-BE"}, {0x0816, "pt-PT"}, {0x081A, "sr-Latn-CS"}, {0x0C04, "zh-HK"},
    {0x0C07, "de-AT"}, {0x0C09, "en-AU"}, {0x0C0A, "es-ES"}, {0x0C0C, "fr-CA"}, {0x1004, "zh-SG"},
    {0x1009, "en-CA"}, {0x100C, "fr-CH"}, {0x1404, "zh-MO"}, {0x1409, "en-NZ"}, {0x1809, "en-IE"},
};

} // namespace

std::optional<std::string> languageTag(uint32_t language) {
    const auto found = std::find_if(std::begin(tags), std::end(tags),
                                    [language](const auto& entry) { return entry.first == language; });
    if (found == std::end(tags)) {
        return std::nullopt;
    }
    return std::string(found->second);
}

std::vector<uint32_t> templateLanguages(const std::string& platformTemplate) {
    const size_t semicolon = platformTemplate.find(';');
    if (semicolon == std::string::npos) {
        return {};
    }
    std::vector<uint32_t> languages;
    size_t start = semicolon + 1;
    while (true) {
        const size_t comma = platformTemplate.find(',', start);
        const std::string item = platformTemplate.substr(start, comma == std::string::npos ? comma : comma - start);
        if (item.empty() || item.size() > 5 || item.find_first_not_of("0123456789") != std::string::npos) {
            return {};
        }
        languages.push_back(static_cast<uint32_t>(std::strtoul(item.c_str(), nullptr, 10)));
        if (comma == std::string::npos) {
            return languages;
        }
        start = comma + 1;
    }
}
