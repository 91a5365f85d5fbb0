#include "IntuneDefinition.h"

#include "ErrorHandling.h"
#include "InstallArguments.h"
#include "JsonText.h"
#include "ProductVersion.h"
#include "XmlText.h"

#include <utility>
#include <vector>

namespace {

// The packager version the portal expects at least, lest it warn of a
// package made "with an older version of the tool"; four parts, as
// Microsoft's packager writes its own.
const char toolVersion[] = "1.8.6.0";

const tstring& required(const tstring& value, const char* property, const char* field) {
    if (value.empty()) {
        VK_THROW_MSG("The package sets no " << property << ", which Intune requires as " << field);
    }
    return value;
}

std::string architecturesOf(const PackageInfo& package) {
    const tstring platform = tstrings::toLower(package.platform);
    if (platform == L"x64" || platform == L"amd64") {
        return "x64";
    }
    // A 32-bit package installs on 64-bit Windows too.
    if (platform.empty() || platform == L"intel") {
        return "x86,x64";
    }
    if (platform == L"arm64") {
        return "arm64";
    }
    VK_THROW_MSG("The package's platform '" << package.platform << "' (summary information Template) is not one "
                                             << "that Intune knows");
}

std::string json(const tstring& text) { return JsonText::quoted(tstrings::toUtf8(text)); }

std::string jsonOrNull(const tstring& text) { return text.empty() ? std::string("null") : json(text); }

// JSON objects and arrays, two-space indented, members in the order given.
class JsonObject {
public:
    JsonObject& member(const char* name, const std::string& value) {
        members_.emplace_back(name, value);
        return *this;
    }
    std::string text(int indent) const {
        const std::string inner(static_cast<size_t>(indent + 2), ' ');
        std::string out = "{\n";
        for (size_t i = 0; i < members_.size(); ++i) {
            out += inner + JsonText::quoted(members_[i].first) + ": " + members_[i].second +
                   (i + 1 < members_.size() ? ",\n" : "\n");
        }
        return out + std::string(static_cast<size_t>(indent), ' ') + "}";
    }

private:
    std::vector<std::pair<std::string, std::string>> members_;
};

std::string jsonArray(const std::vector<JsonObject>& items, int indent) {
    const std::string inner(static_cast<size_t>(indent + 2), ' ');
    std::string out = "[\n";
    for (size_t i = 0; i < items.size(); ++i) {
        out += inner + items[i].text(indent + 2) + (i + 1 < items.size() ? ",\n" : "\n");
    }
    return out + std::string(static_cast<size_t>(indent), ' ') + "]";
}

} // namespace

IntuneApp intuneApp(const PackageInfo& package) {
    IntuneApp app;
    app.displayName = required(package.productName, "ProductName", "the app's name");
    app.publisher = required(package.manufacturer, "Manufacturer", "the publisher");
    app.productCode = package.productCode;
    app.productVersion = required(package.productVersion, "ProductVersion", "the detection rule's version");
    ProductVersion::require(app.productVersion);
    app.upgradeCode = package.upgradeCode;
    app.description = !package.comments.empty() ? package.comments
                      : !package.subject.empty() ? package.subject
                                                 : package.productName;
    app.architectures = architecturesOf(package);
    app.scope = package.scope;
    app.installArguments = InstallArguments::forSystemAccount(package);
    return app;
}

std::string base64(const uint8_t* bytes, size_t size) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < size; i += 3) {
        const uint32_t group = static_cast<uint32_t>(bytes[i]) << 16 |
                               (i + 1 < size ? static_cast<uint32_t>(bytes[i + 1]) << 8 : 0) |
                               (i + 2 < size ? bytes[i + 2] : 0);
        out += alphabet[group >> 18 & 63];
        out += alphabet[group >> 12 & 63];
        out += i + 1 < size ? alphabet[group >> 6 & 63] : '=';
        out += i + 2 < size ? alphabet[group & 63] : '=';
    }
    return out;
}

std::string detectionXml(const IntuneApp& app, const tstring& setupFile, const IntuneEncryption& encryption) {
    const auto key = [](const auto& bytes) { return base64(bytes.data(), bytes.size()); };
    // As .NET's XmlSerializer writes on Windows: CRLF, two-space indent.
    return std::string("<ApplicationInfo xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                       "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" ToolVersion=\"") +
           toolVersion + "\">\r\n"
           "  <Name>" + XmlText::escaped(app.displayName, "The ProductName") + "</Name>\r\n"
           "  <UnencryptedContentSize>" + std::to_string(encryption.unencryptedSize) + "</UnencryptedContentSize>\r\n"
           "  <FileName>IntunePackage.intunewin</FileName>\r\n"
           "  <SetupFile>" + XmlText::escaped(setupFile, "The setup's file name") + "</SetupFile>\r\n"
           "  <EncryptionInfo>\r\n"
           "    <EncryptionKey>" + key(encryption.encryptionKey) + "</EncryptionKey>\r\n"
           "    <MacKey>" + key(encryption.macKey) + "</MacKey>\r\n"
           "    <InitializationVector>" + key(encryption.iv) + "</InitializationVector>\r\n"
           "    <Mac>" + key(encryption.mac) + "</Mac>\r\n"
           "    <ProfileIdentifier>ProfileVersion1</ProfileIdentifier>\r\n"
           "    <FileDigest>" + key(encryption.fileDigest) + "</FileDigest>\r\n"
           "    <FileDigestAlgorithm>SHA256</FileDigestAlgorithm>\r\n"
           "  </EncryptionInfo>\r\n"
           "</ApplicationInfo>";
}

const char graphVersion[] = "beta";

std::string win32LobAppJson(const IntuneApp& app, const tstring& setupFile, const tstring& packageFile) {
    // A package whose scope is chosen at install runs as the system account
    // and is told to install per machine: per user it would install into
    // the system account's profile.
    const bool user = app.scope == InstallScope::PerUser;
    const tstring install = L"\"" + setupFile + L"\" " + app.installArguments;
    const char* packageType = app.scope == InstallScope::PerMachine ? "perMachine"
                              : user                                ? "perUser"
                                                                    : "dualPurpose";
    std::vector<JsonObject> codes;
    for (const auto& code : {std::pair<int, const char*>{0, "success"}, {1707, "success"}, {3010, "softReboot"},
                             {1641, "hardReboot"}, {1618, "retry"}}) {
        codes.push_back(JsonObject()
                            .member("returnCode", std::to_string(code.first))
                            .member("type", JsonText::quoted(code.second)));
    }
    const JsonObject rule = JsonObject()
                                .member("@odata.type", "\"#microsoft.graph.win32LobAppProductCodeRule\"")
                                .member("ruleType", "\"detection\"")
                                .member("productCode", json(app.productCode))
                                .member("productVersionOperator", "\"greaterThanOrEqual\"")
                                .member("productVersion", json(app.productVersion));
    const JsonObject experience = JsonObject()
                                      .member("runAsAccount", user ? "\"user\"" : "\"system\"")
                                      .member("deviceRestartBehavior", "\"basedOnReturnCode\"");
    const JsonObject msi = JsonObject()
                               .member("productCode", json(app.productCode))
                               .member("productVersion", json(app.productVersion))
                               .member("upgradeCode", jsonOrNull(app.upgradeCode))
                               .member("requiresReboot", "false")
                               .member("packageType", JsonText::quoted(packageType))
                               .member("productName", json(app.displayName))
                               .member("publisher", json(app.publisher));
    return JsonObject()
               .member("@odata.type", "\"#microsoft.graph.win32LobApp\"")
               .member("displayName", json(app.displayName))
               .member("description", json(app.description))
               .member("publisher", json(app.publisher))
               .member("fileName", json(packageFile))
               .member("setupFilePath", json(setupFile))
               .member("installCommandLine", json(install))
               .member("uninstallCommandLine", json(L"msiexec /x " + app.productCode + L" " + InstallArguments::quiet))
               .member("installExperience", experience.text(2))
               .member("returnCodes", jsonArray(codes, 2))
               .member("rules", jsonArray({rule}, 2))
               .member("applicableArchitectures", "\"none\"")
               .member("allowedArchitectures", JsonText::quoted(app.architectures))
               .member("minimumSupportedWindowsRelease", "\"1607\"")
               .member("msiInformation", msi.text(2))
               .text(0) +
           "\n";
}
