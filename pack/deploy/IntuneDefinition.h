#pragma once

#include "PackageInfo.h"
#include "tstrings.h"

#include <array>
#include <cstdint>
#include <string>

// What an Intune package's encryption came to: its keys, the MAC, and the
// plaintext's digest and size.
struct IntuneEncryption {
    std::array<uint8_t, 32> encryptionKey{};
    std::array<uint8_t, 32> macKey{};
    std::array<uint8_t, 16> iv{};
    std::array<uint8_t, 32> mac{};
    // SHA-256 of the inner zip, the plaintext.
    std::array<uint8_t, 32> fileDigest{};
    uint64_t unencryptedSize = 0;
};

// The package's facts for Intune, each checked; a value that Intune requires
// and that the package does not give throws an error for the user naming
// the property.
struct IntuneApp {
    tstring displayName;
    tstring publisher;
    tstring description;
    tstring productCode;
    tstring productVersion;
    tstring upgradeCode;
    // As Graph beta's windowsArchitecture flags: "x86,x64", "x64", "arm64".
    std::string architectures;
    InstallScope scope = InstallScope::PerUser;
    // msiexec's arguments after the setup's name.
    tstring installArguments;
};
IntuneApp intuneApp(const PackageInfo& package);

// Base64 (RFC 4648, with padding), as .NET writes keys.
std::string base64(const uint8_t* bytes, size_t size);

// IntuneWinPackage/Metadata/Detection.xml, in the shape Microsoft's packager
// writes for a setup file that is no .msi: without MsiInfo, whose presence
// would make the portal run the setup through msiexec /i.
std::string detectionXml(const IntuneApp& app, const tstring& setupFile, const IntuneEncryption& encryption);

// The Graph version the body is written for: beta, the one whose
// windowsArchitecture knows Arm64 (v1.0's has none, x86, x64, arm and
// neutral alone).
extern const char graphVersion[];

// The Microsoft Graph body that creates the app (#microsoft.graph.win32LobApp),
// for `setupFile` inside `packageFile`: install and uninstall commands, the
// install experience for the package's scope, msiexec's return codes, a
// product-code detection rule, the architectures as allowedArchitectures
// (with applicableArchitectures "none", as Graph then requires) and the
// MSI's facts. UTF-8 JSON.
std::string win32LobAppJson(const IntuneApp& app, const tstring& setupFile, const tstring& packageFile);
