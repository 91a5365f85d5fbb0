#pragma once

#include "PackageFacts.h"
#include "tstrings.h"

enum class InstallScope { PerMachine, PerUser, ChosenAtInstall };

// What a package tells about the product it installs: what deployment tools
// need to detect, name and remove it. A property the package does not set is
// empty (the installer knows no empty property values).
struct PackageInfo {
    // Braced, upper case.
    tstring productCode;
    tstring upgradeCode;
    tstring productName;
    tstring productVersion;
    tstring manufacturer;
    tstring productLanguage;
    // The summary information's revision number: the code of this very file.
    tstring packageCode;
    // The summary information's subject and comments, and the platform its
    // template names ("x64", "Intel", "Arm64"; empty means Intel).
    tstring subject;
    tstring comments;
    tstring platform;
    InstallScope scope = InstallScope::PerUser;
    // What the installation gets when its command line chooses nothing:
    // never ChosenAtInstall.
    InstallScope defaultScope = InstallScope::PerUser;
    // An Authenticode signature is there; whether it verifies is the
    // installer's to judge.
    bool isSigned = false;
};

// Throws a DamagedFileError for the user, naming the package, when its
// ProductCode is missing or no GUID.
PackageInfo packageInfo(const RawPackageFacts& facts, const tstring& msiPath);
