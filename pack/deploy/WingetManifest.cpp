#include "WingetManifest.h"

#include "ErrorHandling.h"
#include "FieldChecks.h"
#include "InputChecks.h"
#include "InstallArguments.h"
#include "LanguageChoice.h"
#include "LanguageTags.h"
#include "OutputSet.h"
#include "PackFiles.h"
#include "ProductVersion.h"
#include "Sha256.h"
#include "YamlText.h"

#include <algorithm>
#include <memory>

namespace {

using FieldChecks::length;
using FieldChecks::requireLength;

const char manifestVersion[] = "1.10.0";

bool isLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// A blank as winget's \s takes it, in whichever of the regular expression
// engines that read its schema: ECMAScript's (which adds U+FEFF) or
// .NET's (which adds U+0085).
bool isBlank(wchar_t c) {
    return c == L' ' || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000 || c == 0xFEFF;
}

// winget's PackageIdentifier: 2 to 8 parts joined by dots, each 1 to 32
// characters without blanks, controls or \/:*?"<>|.
bool isPackageIdentifier(const tstring& id) {
    static const tstring refused = L"\\/:*?\"<>|";
    size_t parts = 1;
    size_t part = 0;
    for (const wchar_t c : id) {
        if (c == L'.') {
            if (part == 0) {
                return false;
            }
            ++parts;
            part = 0;
        } else if (c < 0x20 || c == 0x7F || isBlank(c) || refused.find(c) != tstring::npos) {
            return false;
        } else if (++part > 32) {
            return false;
        }
    }
    return part > 0 && parts >= 2 && parts <= 8 && id.size() <= 128;
}

// The part of the identifier that Windows takes for a device whatever
// follows it (CON, NUL, COM1, ...): the manifests' file names start with
// it, and winget-pkgs makes a directory of each part. Empty when none is.
tstring deviceNameIn(const tstring& id) {
    static const wchar_t* const devices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    static const tstring numbered = L"123456789\u00B9\u00B2\u00B3";
    for (size_t start = 0; start <= id.size();) {
        const size_t end = std::min(id.find(L'.', start), id.size());
        const tstring part = tstrings::toUpper(id.substr(start, end - start));
        const bool isDevice =
            std::find(std::begin(devices), std::end(devices), part) != std::end(devices) ||
            (part.size() == 4 && (part.compare(0, 3, L"COM") == 0 || part.compare(0, 3, L"LPT") == 0) &&
             numbered.find(part[3]) != tstring::npos);
        if (isDevice) {
            return id.substr(start, end - start);
        }
        start = end + 1;
    }
    return tstring();
}

// A language tag: a language of 2 or 3 letters, then subtags of 1 to 8
// letters or digits, joined by hyphens. It becomes part of a file name.
bool isLocaleTag(const tstring& tag) {
    size_t start = 0;
    for (size_t subtag = 0; start <= tag.size(); ++subtag) {
        const size_t end = std::min(tag.find(L'-', start), tag.size());
        const size_t size = end - start;
        if (subtag == 0 ? size < 2 || size > 3 : size < 1 || size > 8) {
            return false;
        }
        for (size_t i = start; i < end; ++i) {
            if (!isLetter(tag[i]) && (subtag == 0 || !isDigit(tag[i]))) {
                return false;
            }
        }
        start = end + 1;
    }
    return tag.size() <= 20;
}

// A product property that winget requires.
const tstring& required(const tstring& value, const char* property, const char* field) {
    if (value.empty()) {
        VK_THROW_MSG("The package sets no " << property << ", which winget requires as " << field);
    }
    return value;
}

tstring architectureOf(const PackageInfo& package) {
    const tstring platform = tstrings::toLower(package.platform);
    if (platform == L"x64" || platform == L"amd64") {
        return L"x64";
    }
    if (platform.empty() || platform == L"intel") {
        return L"x86";
    }
    if (platform == L"arm64") {
        return L"arm64";
    }
    if (platform == L"arm") {
        return L"arm";
    }
    VK_THROW_MSG("The package's platform '" << package.platform << "' (summary information Template) is not one "
                                             << "that winget knows");
}

tstring shortDescriptionOf(const WingetRequest& request, const PackageInfo& package) {
    if (!request.shortDescription.empty()) {
        requireLength(request.shortDescription, 3, 256, "--short-description");
        return request.shortDescription;
    }
    for (const tstring* candidate : {&package.subject, &package.comments}) {
        const size_t size = length(*candidate);
        if (size >= 3 && size <= 256) {
            return *candidate;
        }
    }
    VK_THROW_MSG("winget requires a ShortDescription, and the package's summary has no subject or comments of 3 to "
                 "256 characters: give --short-description");
}

// Lines of "key: value" at an indentation, in the order given.
class Yaml {
public:
    Yaml& comment(const std::string& text) {
        text_ += "# " + text + "\n";
        return *this;
    }
    Yaml& blank() {
        text_ += "\n";
        return *this;
    }
    Yaml& text(int indent, const char* key, const tstring& value) {
        return line(indent, key, YamlText::quoted(value));
    }
    Yaml& number(int indent, const char* key, int value) { return line(indent, key, std::to_string(value)); }
    // A key whose value is the block below it.
    Yaml& open(int indent, const char* key) { return line(indent, key, std::string()); }
    // "- " before the first key of a list item at `indent`.
    Yaml& item(int indent, const char* key, const std::string& value) {
        text_ += std::string(static_cast<size_t>(indent), ' ') + "- " + key + ": " + value + "\n";
        return *this;
    }
    std::string take() { return std::move(text_); }

private:
    Yaml& line(int indent, const char* key, const std::string& value) {
        text_ += std::string(static_cast<size_t>(indent), ' ') + key + ":" + (value.empty() ? "" : " " + value) + "\n";
        return *this;
    }

    std::string text_;
};

// msiexec's codes that winget is to read as something other than a plain
// failure; 0 is success without saying.
const struct {
    int code;
    const char* response;
} returnCodes[] = {
    {1602, "cancelledByUser"},  {1618, "installInProgress"},      {1625, "blockedByPolicy"},
    {1633, "systemNotSupported"}, {1638, "alreadyInstalled"},     {1641, "rebootInitiated"},
    {3010, "rebootRequiredToFinish"},
};

struct Scope {
    InstallScope scope;
    // The property that chooses it at installation; empty when the package
    // leaves no choice.
    tstring custom;
};

std::vector<Scope> installerScopes(const PackageInfo& package) {
    if (package.scope != InstallScope::ChosenAtInstall) {
        return {Scope{package.scope, tstring()}};
    }
    // The package's own default comes first.
    const Scope user{InstallScope::PerUser, InstallArguments::scopeChoice(InstallScope::PerUser)};
    const Scope machine{InstallScope::PerMachine, InstallArguments::scopeChoice(InstallScope::PerMachine)};
    return package.defaultScope == InstallScope::PerUser ? std::vector<Scope>{user, machine}
                                                         : std::vector<Scope>{machine, user};
}

// A language that a multilingual setup installs in, as winget's installer
// tells it.
struct Language {
    // BCP-47; empty for a setup that offers no choice.
    tstring tag;
    // What chooses it on the setup's command line.
    tstring custom;
};

// One for each language the setup offers, the base first: each names its
// language in TRANSFORMS, the base's with an empty one, so that the setup,
// which leaves a TRANSFORMS on its command line as it is, installs the
// language winget chose (by --locale or by the user's languages) and not
// the one that it would choose itself. A setup without a choice: one without
// a tag, as before.
std::vector<Language> installerLanguages(const WingetSetup& setup) {
    const FileContents& contents = setup.contents;
    if (!contents.offersLanguages || contents.languages.size() < 2) {
        return {Language{}};
    }
    std::vector<Language> languages;
    for (const uint32_t language : contents.languages) {
        const std::optional<std::string> tag = languageTag(language);
        if (!tag) {
            VK_THROW_MSG(setup.path << " offers the language " << language
                                    << ", whose BCP-47 tag velkin-pack does not know: winget requires one as "
                                    << "InstallerLocale");
        }
        languages.push_back(Language{tstrings::fromUtf8(*tag),
                                     languages.empty() ? tstring(L"TRANSFORMS=\"\"")
                                                       : LanguageChoice::transformsProperty(
                                                             static_cast<LanguageChoice::LanguageId>(language))});
    }
    return languages;
}

void installer(Yaml& yaml, const WingetSetup& setup, const tstring& architecture, const Language& language,
               const Scope& scope) {
    const PackageInfo& package = setup.contents.package;
    const bool machine = scope.scope == InstallScope::PerMachine;
    yaml.item(2, "Architecture", YamlText::quoted(architecture));
    if (!language.tag.empty()) {
        yaml.text(4, "InstallerLocale", language.tag);
    }
    yaml.text(4, "InstallerType", L"exe")
        .text(4, "InstallerUrl", setup.url)
        .text(4, "InstallerSha256", tstrings::fromUtf8(setup.sha256))
        .text(4, "Scope", machine ? L"machine" : L"user")
        .open(4, "InstallerSwitches")
        .text(6, "Silent", InstallArguments::quiet)
        .text(6, "SilentWithProgress", InstallArguments::withProgress)
        .text(6, "Log", L"/l*v \"<LOGPATH>\"");
    tstring custom = scope.custom;
    if (!language.custom.empty()) {
        custom += (custom.empty() ? L"" : L" ") + language.custom;
    }
    if (!custom.empty()) {
        yaml.text(6, "Custom", custom);
    }
    yaml.text(4, "UpgradeBehavior", L"install");
    if (machine) {
        // The setup runs as its caller, and a quiet per-machine installation
        // cannot ask for elevation itself.
        yaml.text(4, "ElevationRequirement", L"elevationRequired");
    }
    yaml.open(4, "ExpectedReturnCodes");
    for (const auto& code : returnCodes) {
        yaml.item(4, "InstallerReturnCode", std::to_string(code.code))
            .text(6, "ReturnResponse", tstrings::fromUtf8(code.response));
    }
    yaml.text(4, "ProductCode", package.productCode)
        .open(4, "AppsAndFeaturesEntries")
        .item(4, "DisplayName", YamlText::quoted(package.productName))
        .text(6, "Publisher", package.manufacturer)
        .text(6, "DisplayVersion", package.productVersion)
        .text(6, "ProductCode", package.productCode);
    if (!package.upgradeCode.empty()) {
        yaml.text(6, "UpgradeCode", package.upgradeCode);
    }
    yaml.text(6, "InstallerType", L"msi");
}

Yaml headed(const char* manifestType, const WingetRequest& request, const PackageInfo& package) {
    Yaml yaml;
    yaml.comment(std::string("yaml-language-server: $schema=https://aka.ms/winget-manifest.") + manifestType + "." +
                 manifestVersion + ".schema.json")
        .blank()
        .text(0, "PackageIdentifier", request.id)
        .text(0, "PackageVersion", package.productVersion);
    return yaml;
}

std::string closed(Yaml& yaml, const char* manifestType) {
    return yaml.text(0, "ManifestType", tstrings::fromUtf8(manifestType))
        .text(0, "ManifestVersion", tstrings::fromUtf8(manifestVersion))
        .take();
}

// Whether YAML text has the line "ManifestType: defaultLocale", the value
// plain or quoted.
bool isDefaultLocaleManifest(const std::string& text) {
    static const std::string key = "ManifestType:";
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        if (text.compare(start, key.size(), key) == 0) {
            std::string value = text.substr(start + key.size(), end - start - key.size());
            value.erase(0, std::min(value.find_first_not_of(" \t"), value.size()));
            value.erase(value.find_last_not_of(" \t\r") + 1);
            if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
                value = value.substr(1, value.size() - 2);
            }
            return value == "defaultLocale";
        }
        start = end + 1;
    }
    return false;
}

// winget takes one default locale per version: the set written with another
// --locale before is replaced, not added to. Locale manifests of the
// package's other languages (ManifestType locale) stay.
void removeOtherDefaultLocales(const tstring& directory, const tstring& id, const tstring& written) {
    const tstring prefix = tstrings::toLower(id + L".locale.");
    for (const tstring& name : PackFiles::filesIn(directory)) {
        const tstring lower = tstrings::toLower(name);
        if (lower.rfind(prefix, 0) != 0 || lower.size() < 5 || lower.compare(lower.size() - 5, 5, L".yaml") != 0 ||
            lower == tstrings::toLower(written)) {
            continue;
        }
        const tstring path = PackFiles::inDirectory(directory, name);
        const InputFile file(path);
        // A manifest is a few KiB; a file this large is none of winget's.
        if (file.size() > 1024 * 1024) {
            continue;
        }
        const std::vector<uint8_t> bytes = file.bytes(0, static_cast<size_t>(file.size()));
        if (isDefaultLocaleManifest(std::string(bytes.begin(), bytes.end()))) {
            PackFiles::removeFile(path);
        }
    }
}

} // namespace

std::vector<ManifestFile> wingetManifests(const WingetRequest& request, const std::vector<WingetSetup>& setups) {
    if (!isPackageIdentifier(request.id)) {
        VK_THROW_MSG("--id '" << request.id << "' is no winget PackageIdentifier: 2 to 8 parts joined by dots, "
                              << "each 1 to 32 characters without blanks or \\/:*?\"<>|");
    }
    const tstring device = deviceNameIn(request.id);
    if (!device.empty()) {
        VK_THROW_MSG("--id '" << request.id << "' holds " << device
                              << ", which Windows takes for a device: its manifests could not be written there");
    }
    for (const WingetSetup& setup : setups) {
        if (!FieldChecks::isWebAddress(setup.url)) {
            VK_THROW_MSG("--url '" << setup.url << "' is no http:// or https:// address of up to 2048 characters");
        }
    }
    if (!isLocaleTag(request.locale)) {
        VK_THROW_MSG("--locale '" << request.locale << "' is no language tag such as en-US");
    }
    if (request.license.empty()) {
        VK_THROW_MSG("winget requires a License: give --license");
    }
    requireLength(request.license, 3, 512, "--license");
    const PackageInfo& package = setups.at(0).contents.package;
    ProductVersion::require(required(package.productVersion, "ProductVersion", "PackageVersion"));
    requireLength(required(package.manufacturer, "Manufacturer", "Publisher"), 2, 256, "The Manufacturer");
    requireLength(required(package.productName, "ProductName", "PackageName"), 2, 256, "The ProductName");
    const tstring shortDescription = shortDescriptionOf(request, package);
    // winget-pkgs takes one installer manifest per version, and winget one
    // installer per architecture and scope.
    std::vector<tstring> architectures;
    for (const WingetSetup& setup : setups) {
        const PackageInfo& other = setup.contents.package;
        if (other.productVersion != package.productVersion) {
            VK_THROW_MSG("The setups are not of one product version: " << setups[0].path << " has "
                                                                        << package.productVersion << ", "
                                                                        << setup.path << " has "
                                                                        << other.productVersion);
        }
        architectures.push_back(architectureOf(other));
        const auto first = std::find(architectures.begin(), architectures.end(), architectures.back());
        if (first != architectures.end() - 1) {
            VK_THROW_MSG(setups[static_cast<size_t>(first - architectures.begin())].path
                         << " and " << setup.path << " are both for " << architectures.back()
                         << ": winget takes one installer per architecture");
        }
    }

    Yaml version = headed("version", request, package);
    version.text(0, "DefaultLocale", request.locale);

    Yaml locale = headed("defaultLocale", request, package);
    locale.text(0, "PackageLocale", request.locale)
        .text(0, "Publisher", package.manufacturer)
        .text(0, "PackageName", package.productName)
        .text(0, "License", request.license)
        .text(0, "ShortDescription", shortDescription);

    Yaml installers = headed("installer", request, package);
    installers.open(0, "Installers");
    for (size_t i = 0; i < setups.size(); ++i) {
        for (const Language& language : installerLanguages(setups[i])) {
            for (const Scope& scope : installerScopes(setups[i].contents.package)) {
                installer(installers, setups[i], architectures[i], language, scope);
            }
        }
    }
    return {ManifestFile{request.id + L".yaml", closed(version, "version")},
            ManifestFile{request.id + L".locale." + request.locale + L".yaml", closed(locale, "defaultLocale")},
            ManifestFile{request.id + L".installer.yaml", closed(installers, "installer")}};
}

void writeWingetManifests(const WingetRequest& request) {
    FieldChecks::requireDirectory(request.directory);
    // Watched from here: a polite end before the publication leaves nothing.
    OutputSet outputs;
    std::vector<WingetSetup> setups;
    for (size_t i = 0; i < request.setups.size(); ++i) {
        const tstring& path = request.setups[i];
        const FileContents contents = FieldChecks::readSetup(path, "a winget manifest describes");
        const InputFile setup(path);
        Sha256 sum;
        setup.visit(0, setup.size(), [&sum](uint64_t, const uint8_t* bytes, size_t size) { sum.add(bytes, size); });
        setups.push_back(WingetSetup{path, contents, Sha256::hex(sum.finish()), request.urls.at(i)});
    }
    const std::vector<ManifestFile> files = wingetManifests(request, setups);

    std::vector<StagedOutput*> staged;
    for (const ManifestFile& file : files) {
        const tstring path = PackFiles::inDirectory(request.directory, file.name);
        for (const tstring& setup : request.setups) {
            refuseOutputOverInput(path, setup, L"the setup executable");
        }
        staged.push_back(&outputs.add(path));
    }
    for (size_t i = 0; i < files.size(); ++i) {
        staged[i]->write(0, files[i].text.data(), files[i].text.size());
    }
    outputs.publish();
    removeOtherDefaultLocales(request.directory, request.id, files[1].name);
}
