#include "ContentsReport.h"

#include "JsonText.h"
#include "LanguageTags.h"
#include "VisibleText.h"

#include <iomanip>
#include <sstream>
#include <utility>
#include <vector>

namespace {

const char* scopeText(InstallScope scope) {
    switch (scope) {
    case InstallScope::PerMachine:
        return "per-machine";
    case InstallScope::PerUser:
        return "per-user";
    case InstallScope::ChosenAtInstall:
        break;
    }
    return "chosen at install";
}

const char* scopeKey(InstallScope scope) {
    switch (scope) {
    case InstallScope::PerMachine:
        return "perMachine";
    case InstallScope::PerUser:
        return "perUser";
    case InstallScope::ChosenAtInstall:
        break;
    }
    return "chosenAtInstall";
}

std::string orNone(const tstring& value) {
    return value.empty() ? std::string("(none)") : visibleText(tstrings::toUtf8(value));
}

std::string jsonStringOrNull(const tstring& value) {
    return value.empty() ? std::string("null") : JsonText::quoted(tstrings::toUtf8(value));
}

std::string languageText(const std::optional<uint32_t>& language) {
    return language ? std::to_string(*language) : std::string("(none)");
}

std::string languageJson(const std::optional<uint32_t>& language) {
    return language ? std::to_string(*language) : std::string("null");
}

// The validation flags an applier knows, in the order of their bits.
std::string validationText(uint32_t flags) {
    static const std::pair<uint32_t, const char*> names[] = {
        {0x0001, "language"}, {0x0002, "product"},          {0x0004, "platform"},
        {0x0008, "major version"}, {0x0010, "minor version"}, {0x0020, "update version"},
        {0x0040, "version <"}, {0x0080, "version <="},      {0x0100, "version ="},
        {0x0200, "version >="}, {0x0400, "version >"},       {0x0800, "upgrade code"}};
    std::string text;
    for (const auto& [bit, name] : names) {
        if (flags & bit) {
            text += (text.empty() ? "" : ", ") + std::string(name);
        }
    }
    return text.empty() ? std::string("(none)") : text;
}

// "1033 (en-US), 1031 (de-DE), 1 (?)": base first.
std::string languagesText(const std::vector<uint32_t>& languages) {
    std::string text;
    for (const uint32_t language : languages) {
        text += (text.empty() ? "" : ", ") + std::to_string(language) + " (" + languageTag(language).value_or("?") +
                ")";
    }
    return text.empty() ? std::string("(none)") : text;
}

// [1033, 1031], or their tags: ["en-US", "de-DE"], null for a language
// without one.
std::string languagesJson(const std::vector<uint32_t>& languages, bool tags) {
    std::string json = "[";
    for (size_t i = 0; i < languages.size(); ++i) {
        const std::optional<std::string> tag = languageTag(languages[i]);
        json += (i == 0 ? "" : ", ") +
                (!tags ? std::to_string(languages[i]) : tag ? JsonText::quoted(*tag) : std::string("null"));
    }
    return json + "]";
}

using Lines = std::vector<std::pair<const char*, std::string>>;

void writeLines(const Lines& lines, std::ostringstream& text) {
    for (const auto& line : lines) {
        text << std::left << std::setw(24) << std::string(line.first) + ":" << line.second << '\n';
    }
}

std::string jsonObject(const Lines& members) {
    std::string json = "{\n";
    for (size_t i = 0; i < members.size(); ++i) {
        json += "  " + JsonText::quoted(members[i].first) + ": " + members[i].second +
                (i + 1 < members.size() ? ",\n" : "\n");
    }
    return json + "}\n";
}

std::string transformText(const FileContents& contents) {
    const TransformInfo& transform = *contents.transform;
    std::string tables;
    for (const tstring& table : transform.tables) {
        tables += (tables.empty() ? "" : ", ") + visibleText(tstrings::toUtf8(table));
    }
    std::ostringstream text;
    writeLines({{"Kind", "Windows Installer transform"},
                {"Language", languageText(transform.language)},
                {"Base language", languageText(transform.baseLanguage)},
                {"ProductCode", orNone(transform.productCode)},
                {"ProductVersion", orNone(transform.productVersion)},
                {"Base ProductCode", orNone(transform.baseProductCode)},
                {"Base ProductVersion", orNone(transform.baseProductVersion)},
                {"UpgradeCode", orNone(transform.upgradeCode)},
                {"Checks before applying", validationText(transform.validation)},
                {"Errors suppressed", std::to_string(transform.errorConditions)},
                {"Tables changed", tables.empty() ? std::string("(none)") : tables},
                {"Transform size", std::to_string(contents.packageSize) + " bytes"}},
               text);
    return text.str();
}

std::string transformJson(const FileContents& contents) {
    const TransformInfo& transform = *contents.transform;
    std::string tables = "[";
    for (size_t i = 0; i < transform.tables.size(); ++i) {
        tables += (i == 0 ? "" : ", ") + JsonText::quoted(tstrings::toUtf8(transform.tables[i]));
    }
    tables += "]";
    return jsonObject({{"kind", JsonText::quoted("transform")},
                       {"language", languageJson(transform.language)},
                       {"baseLanguage", languageJson(transform.baseLanguage)},
                       {"productCode", jsonStringOrNull(transform.productCode)},
                       {"productVersion", jsonStringOrNull(transform.productVersion)},
                       {"baseProductCode", jsonStringOrNull(transform.baseProductCode)},
                       {"baseProductVersion", jsonStringOrNull(transform.baseProductVersion)},
                       {"upgradeCode", jsonStringOrNull(transform.upgradeCode)},
                       {"validationFlags", std::to_string(transform.validation)},
                       {"errorConditions", std::to_string(transform.errorConditions)},
                       {"tables", tables},
                       {"transformSize", std::to_string(contents.packageSize)}});
}

} // namespace

std::string textReport(const FileContents& contents) {
    if (contents.transform) {
        return transformText(contents);
    }
    const PackageInfo& package = contents.package;
    std::vector<std::pair<const char*, std::string>> lines{
        {"Kind", contents.isSetup ? "Velkin setup executable" : "Windows Installer package"},
        {"ProductName", orNone(package.productName)},
        {"ProductVersion", orNone(package.productVersion)},
        {"Manufacturer", orNone(package.manufacturer)},
        {"ProductLanguage", orNone(package.productLanguage)},
        {"ProductCode", visibleText(tstrings::toUtf8(package.productCode))},
        {"UpgradeCode", orNone(package.upgradeCode)},
        {"Install scope", package.scope == InstallScope::ChosenAtInstall
                              ? std::string(scopeText(package.scope)) + " (" +
                                    scopeText(package.defaultScope) + " by default)"
                              : scopeText(package.scope)},
        {"Package code", orNone(package.packageCode)},
        {"Signed", package.isSigned ? "yes"
                   : contents.signatureProblem.empty() ? "no"
                                                       : "no: " + visibleText(contents.signatureProblem)},
        {"Package size", std::to_string(contents.packageSize) + " bytes"},
        {"Languages", languagesText(contents.languages)},
    };
    if (contents.isSetup) {
        lines.emplace_back("Embedded product code",
                           orNone(contents.embeddedProductCode) +
                               (contents.productCodeMatches ? " (matches the package)"
                                                              : " (DIFFERS from the package's)"));
        std::string setupSigned = contents.setupSigned ? "yes" : "no";
        if (!contents.setupSignatureProblem.empty()) {
            setupSigned += ": " + visibleText(contents.setupSignatureProblem);
        }
        lines.emplace_back("Setup signed", setupSigned);
    }
    std::ostringstream text;
    writeLines(lines, text);
    return text.str();
}

std::string jsonReport(const FileContents& contents) {
    if (contents.transform) {
        return transformJson(contents);
    }
    const PackageInfo& package = contents.package;
    const std::string setupOnlyCode =
        contents.isSetup ? jsonStringOrNull(contents.embeddedProductCode) : "null";
    const std::string setupOnlyMatch =
        contents.isSetup ? (contents.productCodeMatches ? "true" : "false") : "null";
    const std::vector<std::pair<const char*, std::string>> members{
        {"kind", JsonText::quoted(contents.isSetup ? "setup" : "package")},
        {"productCode", JsonText::quoted(tstrings::toUtf8(package.productCode))},
        {"upgradeCode", jsonStringOrNull(package.upgradeCode)},
        {"productName", jsonStringOrNull(package.productName)},
        {"productVersion", jsonStringOrNull(package.productVersion)},
        {"manufacturer", jsonStringOrNull(package.manufacturer)},
        {"productLanguage", jsonStringOrNull(package.productLanguage)},
        {"installScope", JsonText::quoted(scopeKey(package.scope))},
        {"defaultInstallScope", JsonText::quoted(scopeKey(package.defaultScope))},
        {"packageCode", jsonStringOrNull(package.packageCode)},
        {"signed", package.isSigned ? "true" : "false"},
        {"signatureProblem", contents.signatureProblem.empty() ? "null" : JsonText::quoted(contents.signatureProblem)},
        {"packageSize", std::to_string(contents.packageSize)},
        {"languages", languagesJson(contents.languages, false)},
        {"languageTags", languagesJson(contents.languages, true)},
        {"embeddedProductCode", setupOnlyCode},
        {"productCodeMatches", setupOnlyMatch},
        {"setupSigned", contents.isSetup ? (contents.setupSigned ? "true" : "false") : "null"},
        {"setupSignatureProblem",
         contents.setupSignatureProblem.empty() ? "null" : JsonText::quoted(contents.setupSignatureProblem)},
    };
    return jsonObject(members);
}
