#include "ErrorHandling.h"
#include "FieldChecks.h"
#include "WingetManifest.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const std::string sha256(64, 'A');

FileContents demo() {
    FileContents contents;
    contents.isSetup = true;
    PackageInfo& package = contents.package;
    package.productCode = L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}";
    package.upgradeCode = L"{0B5E2C43-7A0E-4C29-8D5F-91E4A6B3C201}";
    package.productName = L"Velkin Demo";
    package.productVersion = L"1.0.0";
    package.manufacturer = L"Velkin";
    package.subject = L"Velkin demo package";
    package.platform = L"x64";
    package.scope = package.defaultScope = InstallScope::PerUser;
    contents.productCodeMatches = true;
    return contents;
}

WingetRequest request() {
    WingetRequest request;
    request.id = L"Velkin.Demo";
    request.urls = {L"https://example.com/demo-setup.exe"};
    request.license = L"MIT";
    return request;
}

std::vector<ManifestFile> manifestsOf(const WingetRequest& r, const FileContents& contents) {
    return wingetManifests(r, {WingetSetup{L"demo-setup.exe", contents, sha256, r.urls.at(0)}});
}

std::string installerOf(const WingetRequest& r, const FileContents& contents) {
    return manifestsOf(r, contents).at(2).text;
}

std::string failureOf(const WingetRequest& r, const FileContents& contents) {
    try {
        manifestsOf(r, contents);
    } catch (const VkErrorBase& e) {
        return e.originalMessage();
    }
    return "(no failure)";
}

size_t count(const std::string& text, const std::string& piece) {
    size_t found = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
        ++found;
    }
    return found;
}

TEST(WingetManifestTest, FileNamesFollowIdAndLocale) {
    WingetRequest r = request();
    r.locale = L"de-CH";
    const std::vector<ManifestFile> files = manifestsOf(r, demo());
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ(L"Velkin.Demo.yaml", files[0].name);
    EXPECT_EQ(L"Velkin.Demo.locale.de-CH.yaml", files[1].name);
    EXPECT_EQ(L"Velkin.Demo.installer.yaml", files[2].name);
}

// Values winget would refuse, or that nothing gives, stop the manifest;
// each message names the option or the package's property to mend.
TEST(WingetManifestTest, RefusesWhatWingetWouldRefuse) {
    const struct {
        std::function<void(WingetRequest&, PackageInfo&)> change;
        std::string start;
    } cases[] = {
        {[](WingetRequest& r, PackageInfo&) { r.id = L"Demo"; }, "--id 'Demo' is no winget PackageIdentifier"},
        {[](WingetRequest& r, PackageInfo&) { r.id = L"Velkin..Demo"; }, "--id"},
        {[](WingetRequest& r, PackageInfo&) { r.id = L"Velkin.De mo"; }, "--id"},
        {[](WingetRequest& r, PackageInfo&) { r.id = L"Velkin.../x"; }, "--id"},
        {[](WingetRequest& r, PackageInfo&) { r.id = L"..\\..\\Demo.x"; }, "--id"},
        {[](WingetRequest& r, PackageInfo&) { r.id = L"a.b.c.d.e.f.g.h.i"; }, "--id"},
        {[](WingetRequest& r, PackageInfo&) { r.id = L"Velkin." + tstring(33, L'x'); }, "--id"},
        {[](WingetRequest& r, PackageInfo&) { r.urls = {L"ftp://example.com/a.exe"}; }, "--url"},
        {[](WingetRequest& r, PackageInfo&) { r.urls = {L"https://example.com/a b.exe"}; }, "--url"},
        {[](WingetRequest& r, PackageInfo&) { r.locale = L"e"; }, "--locale 'e' is no language tag"},
        {[](WingetRequest& r, PackageInfo&) { r.locale = L"en-US/../x"; }, "--locale"},
        {[](WingetRequest& r, PackageInfo&) { r.license.clear(); }, "winget requires a License: give --license"},
        {[](WingetRequest& r, PackageInfo&) { r.license = L"BS"; }, "--license must have 3 to 512 characters"},
        {[](WingetRequest& r, PackageInfo&) { r.shortDescription = L"ab"; }, "--short-description must have"},
        {[](WingetRequest&, PackageInfo& p) { p.subject = L"ab"; }, "winget requires a ShortDescription"},
        {[](WingetRequest&, PackageInfo& p) { p.productVersion.clear(); },
         "The package sets no ProductVersion, which winget requires as PackageVersion"},
        {[](WingetRequest&, PackageInfo& p) { p.productVersion = L"1.2-beta"; },
         "The ProductVersion '1.2-beta' is no version that Windows Installer takes"},
        {[](WingetRequest&, PackageInfo& p) { p.productVersion = L"256.0.0"; }, "The ProductVersion '256.0.0'"},
        {[](WingetRequest&, PackageInfo& p) { p.manufacturer.clear(); }, "The package sets no Manufacturer"},
        {[](WingetRequest&, PackageInfo& p) { p.productName.clear(); }, "The package sets no ProductName"},
        {[](WingetRequest&, PackageInfo& p) { p.platform = L"Intel64"; }, "The package's platform 'Intel64'"},
    };
    for (const auto& c : cases) {
        WingetRequest r = request();
        FileContents contents = demo();
        c.change(r, contents.package);
        const std::string message = failureOf(r, contents);
        EXPECT_EQ(c.start, message.substr(0, c.start.size())) << message;
    }
}

// The limits themselves are winget's: 8 parts, 32 characters a part.
// The tools count code points: a character beyond the BMP is one, as is
// every other; a field of exactly the most characters is taken, one more
// refused.
TEST(WingetManifestTest, FieldsAreCountedInCharacters) {
    EXPECT_EQ(3u, FieldChecks::length(L"a\U0001F4E6b"));
    EXPECT_EQ(2u, FieldChecks::length(L"\U0001F4E6\U00010000"));
    EXPECT_EQ(4u, FieldChecks::length(L"\u00FC\u20AC\uFFFD\U0010FFFD"));
    tstring emoji;
    for (int i = 0; i < 100; ++i) {
        emoji += L"\U0001F4E6";
    }
    EXPECT_NO_THROW(FieldChecks::requireLength(emoji, 1, 100, "The name"));
    EXPECT_THROW(FieldChecks::requireLength(emoji + L"x", 1, 100, "The name"), std::exception);
    EXPECT_THROW(FieldChecks::requireLength(L"", 1, 100, "The name"), std::exception);
}

TEST(WingetManifestTest, IdsAtTheLimitsAreTaken) {
    for (const tstring& id : {tstring(L"a.b.c.d.e.f.g.h"), L"Velkin." + tstring(32, L'x')}) {
        WingetRequest r = request();
        r.id = id;
        EXPECT_EQ("(no failure)", failureOf(r, demo())) << tstrings::toUtf8(id);
    }
}

TEST(WingetManifestTest, ShortDescriptionFromTheSummary) {
    FileContents contents = demo();
    contents.package.subject = L"ab";
    contents.package.comments = L"Installs the demo";
    EXPECT_NE(std::string::npos, manifestsOf(request(), contents)[1].text.find(
                                     "ShortDescription: \"Installs the demo\"\n"));
    WingetRequest given = request();
    given.shortDescription = L"Given";
    EXPECT_NE(std::string::npos, manifestsOf(given, contents)[1].text.find("ShortDescription: \"Given\"\n"));
}

TEST(WingetManifestTest, ArchitectureFromThePlatform) {
    const struct {
        const wchar_t* platform;
        const char* architecture;
    } cases[] = {{L"x64", "x64"}, {L"Intel", "x86"}, {L"", "x86"}, {L"Arm64", "arm64"}, {L"AMD64", "x64"}};
    for (const auto& c : cases) {
        FileContents contents = demo();
        contents.package.platform = c.platform;
        EXPECT_NE(std::string::npos, installerOf(request(), contents).find(std::string("- Architecture: \"") +
                                                                            c.architecture + "\"\n"))
            << tstrings::toUtf8(c.platform);
    }
}

// One installer per scope the package can install in; per machine asks
// winget for elevation; a chosen scope is chosen by the Custom switch.
TEST(WingetManifestTest, InstallersFollowTheInstallScope) {
    const struct {
        InstallScope scope;
        InstallScope defaultScope;
        std::vector<std::string> scopes;
        size_t elevations;
        size_t customs;
    } cases[] = {
        {InstallScope::PerUser, InstallScope::PerUser, {"user"}, 0, 0},
        {InstallScope::PerMachine, InstallScope::PerMachine, {"machine"}, 1, 0},
        {InstallScope::ChosenAtInstall, InstallScope::PerUser, {"user", "machine"}, 1, 2},
        {InstallScope::ChosenAtInstall, InstallScope::PerMachine, {"machine", "user"}, 1, 2},
    };
    for (const auto& c : cases) {
        FileContents contents = demo();
        contents.package.scope = c.scope;
        contents.package.defaultScope = c.defaultScope;
        const std::string installer = installerOf(request(), contents);
        size_t at = 0;
        for (const std::string& scope : c.scopes) {
            at = installer.find("    Scope: \"" + scope + "\"\n", at);
            EXPECT_NE(std::string::npos, at) << scope;
        }
        EXPECT_EQ(c.scopes.size(), count(installer, "- Architecture:"));
        EXPECT_EQ(c.elevations, count(installer, "ElevationRequirement: \"elevationRequired\""));
        EXPECT_EQ(c.customs, count(installer, "Custom: \"MSIINSTALLPERUSER="));
        // winget acts on 3010 and 1641 itself, as its own defaults for MSI
        // installers have it.
        EXPECT_EQ(count(installer, "- Architecture"), count(installer, "Silent: \"/qn /norestart\"\n"));
        EXPECT_EQ(count(installer, "- Architecture"), count(installer, "SilentWithProgress: \"/passive /norestart\"\n"));
    }
}

FileContents forPlatform(const wchar_t* platform, const wchar_t* productCode) {
    FileContents contents = demo();
    contents.package.platform = platform;
    contents.package.productCode = productCode;
    return contents;
}

// One version's setups for three architectures: one installer manifest,
// their installers in the order given, each with its own URL, SHA-256 and
// product code; the version and the locale from the first.
TEST(WingetManifestTest, SeveralSetupsOfOneVersionShareOneSet) {
    WingetRequest r = request();
    const std::vector<WingetSetup> setups{
        {L"x86-setup.exe", forPlatform(L"Intel", L"{00000000-0000-0000-0000-000000000086}"), std::string(64, 'a'),
         L"https://example.com/x86.exe"},
        {L"x64-setup.exe", forPlatform(L"x64", L"{00000000-0000-0000-0000-000000000064}"), std::string(64, 'b'),
         L"https://example.com/x64.exe"},
        {L"arm64-setup.exe", forPlatform(L"Arm64", L"{00000000-0000-0000-0000-0000000000a6}"), std::string(64, 'c'),
         L"https://example.com/arm64.exe"}};
    const std::vector<ManifestFile> files = wingetManifests(r, setups);
    const std::string& installer = files.at(2).text;
    EXPECT_EQ(3u, count(installer, "- Architecture:"));
    size_t at = 0;
    for (const char* piece : {"- Architecture: \"x86\"", "InstallerUrl: \"https://example.com/x86.exe\"",
                              "0000000086}", "- Architecture: \"x64\"", "InstallerUrl: \"https://example.com/x64.exe\"",
                              "0000000064}", "- Architecture: \"arm64\"",
                              "InstallerUrl: \"https://example.com/arm64.exe\"", "00000000a6}"}) {
        at = installer.find(piece, at);
        ASSERT_NE(std::string::npos, at) << piece;
    }
    for (const char digit : {'a', 'b', 'c'}) {
        EXPECT_EQ(1u, count(installer, "InstallerSha256: \"" + std::string(64, digit) + "\"")) << digit;
    }

    std::vector<WingetSetup> otherVersion = setups;
    otherVersion[2].contents.package.productVersion = L"1.0.1";
    EXPECT_EQ("The setups are not of one product version: x86-setup.exe has 1.0.0, arm64-setup.exe has 1.0.1",
              [&]() -> std::string {
                  try {
                      wingetManifests(r, otherVersion);
                  } catch (const VkErrorBase& e) {
                      return e.originalMessage();
                  }
                  return "(no failure)";
              }());
    std::vector<WingetSetup> twice = setups;
    twice[2].contents.package.platform = L"AMD64";
    EXPECT_THROW(wingetManifests(r, twice), VkErrorBase);
}

FileContents multilingual(std::vector<uint32_t> languages) {
    FileContents contents = demo();
    contents.languages = std::move(languages);
    contents.offersLanguages = true;
    return contents;
}

// The pieces in this order in the text; what is between them is not looked
// at.
void expectInOrder(const std::string& text, const std::vector<std::string>& pieces) {
    size_t at = 0;
    for (const std::string& piece : pieces) {
        at = text.find(piece, at);
        ASSERT_NE(std::string::npos, at) << piece << " is not after the one before it in\n" << text;
        at += piece.size();
    }
}

// A setup that chooses among its languages: an installer for each, the
// base first, each naming its language for winget and, in TRANSFORMS, for
// the setup, which then leaves the choice to winget; the base's TRANSFORMS
// is empty, so that `--locale en-US` gets the base on a German Windows too.
TEST(WingetManifestTest, MultilingualSetupHasAnInstallerPerLanguage) {
    const std::string installer = installerOf(request(), multilingual({1033, 1031, 1036}));
    EXPECT_EQ(3u, count(installer, "- Architecture: \"x64\"\n    InstallerLocale: "));
    EXPECT_EQ(3u, count(installer, "      Custom: "));
    expectInOrder(installer, {"InstallerLocale: \"en-US\"\n", "      Custom: \"TRANSFORMS=\\\"\\\"\"\n",
                              "InstallerLocale: \"de-DE\"\n", "      Custom: \"TRANSFORMS=:1031\"\n",
                              "InstallerLocale: \"fr-FR\"\n", "      Custom: \"TRANSFORMS=:1036\"\n"});
    // Everything else is the setup's, in each.
    EXPECT_EQ(3u, count(installer, "InstallerUrl: \"https://example.com/demo-setup.exe\"\n"));
    EXPECT_EQ(3u, count(installer, "InstallerSha256: \"" + sha256 + "\"\n"));
    EXPECT_EQ(6u, count(installer, "ProductCode: \"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}\"\n"));
}

// A scope chosen at install: each language in both scopes, the package's
// default first, one Custom switch holding both properties.
TEST(WingetManifestTest, LanguagesTimesScopes) {
    FileContents contents = multilingual({1033, 1031});
    contents.package.scope = InstallScope::ChosenAtInstall;
    contents.package.defaultScope = InstallScope::PerMachine;
    const std::string installer = installerOf(request(), contents);
    EXPECT_EQ(4u, count(installer, "- Architecture:"));
    expectInOrder(installer, {"\"en-US\"", "Scope: \"machine\"", "Custom: \"MSIINSTALLPERUSER=\\\"\\\" TRANSFORMS=\\\"\\\"\"",
                              "\"en-US\"", "Scope: \"user\"", "Custom: \"MSIINSTALLPERUSER=1 TRANSFORMS=\\\"\\\"\"",
                              "\"de-DE\"", "Scope: \"machine\"", "Custom: \"MSIINSTALLPERUSER=\\\"\\\" TRANSFORMS=:1031\"",
                              "\"de-DE\"", "Scope: \"user\"", "Custom: \"MSIINSTALLPERUSER=1 TRANSFORMS=:1031\""});
}

// Only a setup's own list makes installers per language: a package's
// Template that names several, or a list of one, leaves the manifest as
// it was, byte for byte.
TEST(WingetManifestTest, SetupWithoutAChoiceWritesWhatItWrote) {
    const std::vector<ManifestFile> plain = manifestsOf(request(), demo());
    FileContents fromTemplate = demo();
    fromTemplate.languages = {1033, 1031};
    for (const FileContents& contents : {fromTemplate, multilingual({1033})}) {
        const std::vector<ManifestFile> files = manifestsOf(request(), contents);
        ASSERT_EQ(plain.size(), files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(plain[i].text, files[i].text);
        }
    }
    EXPECT_EQ(0u, count(plain[2].text, "InstallerLocale"));
    EXPECT_EQ(0u, count(plain[2].text, "TRANSFORMS"));
}

// winget needs a tag for each installer's language: a language without
// one stops the manifests, naming the setup and the language, the base's
// as well as a variant's.
TEST(WingetManifestTest, LanguageWithoutATagIsRefused) {
    EXPECT_EQ("demo-setup.exe offers the language 1052, whose BCP-47 tag velkin-pack does not know: winget requires "
              "one as InstallerLocale",
              failureOf(request(), multilingual({1033, 1031, 1052})));
    const std::string base = "demo-setup.exe offers the language 1052,";
    EXPECT_EQ(base, failureOf(request(), multilingual({1052, 1033})).substr(0, base.size()));
}

} // namespace
