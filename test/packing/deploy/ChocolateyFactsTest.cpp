#include "ChocolateyFacts.h"
#include "ChocolateyPackage.h"
#include "XmlText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

PackageInfo demoPackage() {
    PackageInfo package;
    package.productCode = L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}";
    package.productName = L"Velkin Demo, \"Edition\"";
    package.productVersion = L"2.0.10.0";
    package.manufacturer = L"Velkin & Co";
    package.subject = L"Short subject";
    package.comments = L"Comments of thirty characters or more";
    return package;
}

ChocolateyRequest demoRequest() {
    ChocolateyRequest request;
    request.setup = L"dir/demo-setup.exe";
    request.id = L"velkin-demo";
    request.url = L"https://example.com/demo-setup.exe";
    return request;
}

// Chocolatey 2's normal form of the versions a package can give.
TEST(ChocolateyFactsTest, VersionsNormalisedAsChocolatey2Does) {
    const struct {
        const wchar_t* given;
        const wchar_t* normal;
    } cases[] = {
        {L"2.0.10.0", L"2.0.10"}, {L"1.2", L"1.2.0"},       {L"1", L"1.0.0"},         {L"01.002.0003", L"1.2.3"},
        {L"1.2.3.4", L"1.2.3.4"}, {L"0.0.0.0", L"0.0.0"},   {L"1.0.0.00", L"1.0.0"},  {L"255.255.65535", L"255.255.65535"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.normal, chocolateyVersion(c.given)) << tstrings::toUtf8(c.given);
    }
    for (const wchar_t* refused : {L"", L"1.2.x", L"1..2", L"1.2.3.4.5", L".1", L"1.", L"1.2 beta", L"-1.2",
                                   L"12345678901.0"}) {
        EXPECT_THROW(chocolateyVersion(refused), std::exception) << tstrings::toUtf8(refused);
    }
}

TEST(ChocolateyFactsTest, PackageIds) {
    for (const wchar_t* id : {L"velkin-demo", L"Velkin.Demo", L"a_b", L"x", L"a.b-c_d.9"}) {
        EXPECT_TRUE(isChocolateyId(id)) << tstrings::toUtf8(id);
    }
    const tstring longest(100, L'a');
    EXPECT_TRUE(isChocolateyId(longest));
    for (const tstring& id : {tstring(L""), tstring(L"-a"), tstring(L"a--b"), tstring(L"a."), tstring(L"a b"),
                              tstring(L"gr\u00FC\u00DFe"), tstring(L"../x"), tstring(L"a/b"), longest + L"a"}) {
        EXPECT_FALSE(isChocolateyId(id)) << tstrings::toUtf8(id);
    }
}

// The description and tags come from the options, else from the package;
// what Chocolatey would refuse names the option to give.
TEST(ChocolateyFactsTest, FactsFromPackageAndOptions) {
    const ChocolateyFacts facts = chocolateyFacts(demoRequest(), demoPackage());
    EXPECT_EQ(L"2.0.10", facts.version);
    EXPECT_EQ(L"Comments of thirty characters or more", facts.description);
    EXPECT_EQ(L"velkin demo \"edition\"", facts.tags) << "words of the name, lower case, no comma";
    EXPECT_EQ(L"demo-setup.exe", facts.setupName);

    ChocolateyRequest request = demoRequest();
    request.tags = L"  one   two ";
    request.description = tstring(30, L'd');
    const ChocolateyFacts given = chocolateyFacts(request, demoPackage());
    EXPECT_EQ(L"one two", given.tags);
    EXPECT_EQ(tstring(30, L'd'), given.description);

    const auto refusal = [](const ChocolateyRequest& request, const PackageInfo& package) {
        try {
            chocolateyFacts(request, package);
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    PackageInfo shortSummary = demoPackage();
    shortSummary.comments = L"too short";
    EXPECT_NE(std::string::npos, refusal(demoRequest(), shortSummary).find("give --description"));
    request = demoRequest();
    request.description = tstring(29, L'd');
    EXPECT_NE(std::string::npos, refusal(request, demoPackage()).find("--description must have 30 to 4000"));
    request = demoRequest();
    request.tags = L"a,b";
    EXPECT_NE(std::string::npos, refusal(request, demoPackage()).find("--tags"));
    request = demoRequest();
    request.url = L"ftp://example.com/x";
    EXPECT_NE(std::string::npos, refusal(request, demoPackage()).find("--url"));
    PackageInfo noManufacturer = demoPackage();
    noManufacturer.manufacturer.clear();
    EXPECT_NE(std::string::npos, refusal(demoRequest(), noManufacturer).find("Manufacturer"));
    PackageInfo control = demoPackage();
    control.productName = L"bell \a";
    EXPECT_NE(std::string::npos, refusal(demoRequest(), control).find("U+0007"));
    // Blanks alone are no tags, not a request for the product's words.
    request = demoRequest();
    request.tags = L" \t ";
    EXPECT_NE(std::string::npos, refusal(request, demoPackage()).find("--tags ' \t ' holds no tag"));
    // The id names the package's files, which Windows must be able to hold.
    for (const wchar_t* id : {L"CON", L"nul", L"aux.x", L"Com1.app"}) {
        request = demoRequest();
        request.id = id;
        EXPECT_NE(std::string::npos, refusal(request, demoPackage()).find("is the name of a device there"))
            << tstrings::toUtf8(id);
    }
    for (const wchar_t* setup : {L"dir/a\"b.exe", L"dir/back\\slash.exe", L"dir/trail.exe ", L"dir/CON.exe"}) {
        request = demoRequest();
        request.setup = setup;
        EXPECT_NE(std::string::npos, refusal(request, demoPackage()).find("The setup's file name"))
            << tstrings::toUtf8(setup);
    }
    for (const wchar_t* version : {L"256.0.0", L"1.2.65536", L"1.2-beta", L"1.2.3.4.5"}) {
        PackageInfo package = demoPackage();
        package.productVersion = version;
        EXPECT_NE(std::string::npos, refusal(demoRequest(), package).find("is no version that Windows Installer takes"))
            << tstrings::toUtf8(version);
    }
}

// The nuspec's projectUrl is the product's home page, given by an option of
// its own; the download address goes into VERIFICATION.txt alone.
TEST(ChocolateyFactsTest, ProjectUrlOnlyFromItsOption) {
    const ChocolateyFacts plain = chocolateyFacts(demoRequest(), demoPackage());
    EXPECT_EQ(std::string::npos, nuspecText(plain).find("projectUrl"));
    EXPECT_NE(std::string::npos, verificationText(plain, "00").find("https://example.com/demo-setup.exe"));
    ChocolateyRequest request = demoRequest();
    request.projectUrl = L"https://example.com/demo";
    const ChocolateyFacts withHome = chocolateyFacts(request, demoPackage());
    EXPECT_NE(std::string::npos, nuspecText(withHome).find("<projectUrl>https://example.com/demo</projectUrl>"));
    EXPECT_NE(std::string::npos, verificationText(withHome, "00").find("https://example.com/demo-setup.exe"));
    request.projectUrl = L"example.com";
    EXPECT_THROW(chocolateyFacts(request, demoPackage()), std::exception);
}

TEST(ChocolateyFactsTest, XmlAndPartNames) {
    EXPECT_EQ("a&amp;b&lt;c&gt;&quot;d&apos;&#xD;\n\t\xC3\xA9", XmlText::escaped(L"a&b<c>\"d'\r\n\t\u00E9", "x"));
    EXPECT_THROW(XmlText::escaped(L"\x1B", "x"), std::exception);
    EXPECT_EQ("tools/my%20setup%2B%C3%A9.exe", opcPartName(L"tools/my setup+\u00E9.exe"));
    EXPECT_EQ("tools/demo-setup_1.0~x.exe", opcPartName(L"tools/demo-setup_1.0~x.exe"));
}

// The script is UTF-8 with a byte order mark, accepts msiexec's restart
// codes and quotes the setup's name for PowerShell.
TEST(ChocolateyFactsTest, InstallScript) {
    ChocolateyFacts facts = chocolateyFacts(demoRequest(), demoPackage());
    facts.setupName = L"it's \u2019setup\u2019.exe";
    const std::string script = installScript(facts);
    EXPECT_EQ("\xEF\xBB\xBF", script.substr(0, 3));
    for (const char* piece : {"Install-ChocolateyInstallPackage ", "-FileType exe", "-SilentArgs '/qn /norestart'",
                              "-ValidExitCodes @(0, 3010, 1641)",
                              "Join-Path $toolsDir 'it''s \xE2\x80\x99\xE2\x80\x99setup\xE2\x80\x99\xE2\x80\x99.exe'"}) {
        EXPECT_NE(std::string::npos, script.find(piece)) << piece;
    }
    // Chocolatey runs elevated: a package whose scope is chosen at install
    // installs per machine, as Intune's body has it, not into the account
    // that installs.
    PackageInfo chosen = demoPackage();
    chosen.scope = InstallScope::ChosenAtInstall;
    EXPECT_NE(std::string::npos, installScript(chocolateyFacts(demoRequest(), chosen))
                                     .find("-SilentArgs '/qn /norestart MSIINSTALLPERUSER=\"\"' -ValidExitCodes"));
}

} // namespace
