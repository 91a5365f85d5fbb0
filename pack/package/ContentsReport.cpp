#include "ContentsReport.h"

#include "JsonText.h"
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

} // namespace

std::string textReport(const FileContents& contents) {
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
        {"Signed", package.isSigned ? "yes" : "no"},
        {"Package size", std::to_string(contents.packageSize) + " bytes"},
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
    for (const auto& line : lines) {
        text << std::left << std::setw(24) << std::string(line.first) + ":" << line.second << '\n';
    }
    return text.str();
}

std::string jsonReport(const FileContents& contents) {
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
        {"packageSize", std::to_string(contents.packageSize)},
        {"embeddedProductCode", setupOnlyCode},
        {"productCodeMatches", setupOnlyMatch},
        {"setupSigned", contents.isSetup ? (contents.setupSigned ? "true" : "false") : "null"},
        {"setupSignatureProblem",
         contents.setupSignatureProblem.empty() ? "null" : JsonText::quoted(contents.setupSignatureProblem)},
    };
    std::string json = "{\n";
    for (size_t i = 0; i < members.size(); ++i) {
        json += "  " + JsonText::quoted(members[i].first) + ": " + members[i].second +
                (i + 1 < members.size() ? ",\n" : "\n");
    }
    return json + "}\n";
}
