#include "IntuneDefinition.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

PackageInfo hostilePackage() {
    PackageInfo package;
    package.productCode = L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}";
    package.productName = L"Demo \"quoted\" \\ back <x> & \u00FC \U0001F4E6\ttab";
    package.manufacturer = L"Velkin\nInc.";
    package.productVersion = L"2.0.10.0";
    package.platform = L"x64";
    return package;
}

// RFC 4648's examples.
TEST(IntuneDefinitionTest, Base64) {
    for (const auto& c : {std::pair<std::string, std::string>{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="},
                          {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}}) {
        EXPECT_EQ(c.second, base64(reinterpret_cast<const uint8_t*>(c.first.data()), c.first.size())) << c.first;
    }
}

// Whatever the names hold, the body parses as JSON and gives them back;
// the scope chooses the account, the package type and the install command.
TEST(IntuneDefinitionTest, GraphBodyReadBackByPython) {
    const struct {
        InstallScope scope;
        const char* expected;
    } cases[] = {
        {InstallScope::PerMachine, "system perMachine \"setup.exe\" /qn /norestart"},
        {InstallScope::PerUser, "user perUser \"setup.exe\" /qn /norestart"},
        {InstallScope::ChosenAtInstall, "system dualPurpose \"setup.exe\" /qn /norestart MSIINSTALLPERUSER=\"\""},
    };
    for (const auto& c : cases) {
        PackageInfo package = hostilePackage();
        package.scope = c.scope;
        const IntuneApp app = intuneApp(package);
        const std::string body = win32LobAppJson(app, L"setup.exe", L"setup.intunewin");
        const std::string read = runPython(R"(
import json, sys
b = json.loads(sys.argv[1])
print(b["installExperience"]["runAsAccount"], b["msiInformation"]["packageType"], b["installCommandLine"])
print(b["displayName"] == sys.argv[2], b["publisher"] == sys.argv[3], b["applicableArchitectures"],
      b["allowedArchitectures"], b["msiInformation"]["upgradeCode"], b["rules"][0]["productVersion"],
      b["description"] == sys.argv[2], b["uninstallCommandLine"].endswith(" /qn /norestart"))
)",
                                           {body, tstrings::toUtf8(package.productName),
                                            tstrings::toUtf8(package.manufacturer)});
        EXPECT_EQ(std::string(c.expected) + "\nTrue True none x64 None 2.0.10.0 True True\n", read);
    }
}

// Detection.xml gives back the names as they are, whatever they hold.
TEST(IntuneDefinitionTest, DetectionXmlReadBackByPython) {
    PackageInfo package = hostilePackage();
    package.productName += L" \r </Name><Name>injected</Name> 'single' \U00010000";
    const tstring setupFile = L"R&D <setup> \"1\".exe";
    const std::string xml = detectionXml(intuneApp(package), setupFile, IntuneEncryption{});
    const std::string read = runPython(R"(
import sys, xml.etree.ElementTree as tree
root = tree.fromstring(sys.argv[1].encode('utf-8'))
print(len(root.findall('Name')), root.find('Name').text == sys.argv[2], root.find('SetupFile').text == sys.argv[3])
)",
                                       {xml, tstrings::toUtf8(package.productName), tstrings::toUtf8(setupFile)});
    EXPECT_EQ("1 True True\n", read);
}

// XML 1.0 carries no U+FFFE, U+FFFF nor control characters but tab and the
// line ends: a name holding one is refused, naming it; the characters beside
// them pass.
TEST(IntuneDefinitionTest, DetectionXmlRefusesWhatXmlCannotCarry) {
    for (const wchar_t* character : {L"\uFFFE", L"\uFFFF", L"\u0001", L"\u001F"}) {
        PackageInfo package = hostilePackage();
        package.productName += character;
        try {
            detectionXml(intuneApp(package), L"setup.exe", IntuneEncryption{});
            ADD_FAILURE() << "taken: U+" << std::hex << static_cast<unsigned>(character[0]);
        } catch (const std::exception& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find("which XML cannot carry")) << e.what();
        }
    }
    for (const wchar_t* character : {L"\uFFFD", L"\uD7FF", L"\uE000", L"\U0010FFFD"}) {
        PackageInfo package = hostilePackage();
        package.productName += character;
        EXPECT_NO_THROW(detectionXml(intuneApp(package), L"setup.exe", IntuneEncryption{}))
            << "U+" << std::hex << static_cast<unsigned>(character[0]);
    }
}

TEST(IntuneDefinitionTest, RefusesWhatIntuneCannotTake) {
    PackageInfo package = hostilePackage();
    package.platform = L"Alpha";
    EXPECT_THROW(intuneApp(package), std::exception);
    package = hostilePackage();
    package.manufacturer.clear();
    EXPECT_THROW(intuneApp(package), std::exception);
    package = hostilePackage();
    package.platform = L"Intel";
    EXPECT_EQ("x86,x64", intuneApp(package).architectures);
    package.platform = L"Arm64";
    EXPECT_EQ("arm64", intuneApp(package).architectures);
    // The detection rule compares versions as Windows Installer reads them.
    for (const wchar_t* version : {L"1.2-beta", L"1.2.3.4.5", L"256.0.0", L"1.2.65536"}) {
        package.productVersion = version;
        EXPECT_THROW(intuneApp(package), std::exception) << tstrings::toUtf8(version);
    }
}

// The packager's version as Microsoft's own writes it: four numbers.
TEST(IntuneDefinitionTest, ToolVersionHasFourParts) {
    const std::string xml = detectionXml(intuneApp(hostilePackage()), L"setup.exe", IntuneEncryption());
    const size_t start = xml.find("ToolVersion=\"") + 13;
    const std::string version = xml.substr(start, xml.find('"', start) - start);
    EXPECT_EQ(3, std::count(version.begin(), version.end(), '.')) << version;
    EXPECT_EQ(std::string::npos, version.find_first_not_of("0123456789.")) << version;
}

} // namespace
