#pragma once

#include "PackageInfo.h"
#include "tstrings.h"

#include <string>

// What `velkin-pack manifest --chocolatey` is asked for.
struct ChocolateyRequest {
    tstring setup;
    tstring id;
    // Where the setup is downloaded from, for tools/VERIFICATION.txt.
    tstring url;
    // The product's home page; empty: the nuspec has no projectUrl.
    tstring projectUrl;
    // Empty: the package's summary comments or subject.
    tstring description;
    // Blank-separated; empty: the product name's words.
    tstring tags;
    // Empty: no tools/LICENSE.txt and tools/VERIFICATION.txt.
    tstring licenseFile;
    tstring directory;
};

// The facts of a Chocolatey package, each checked as Chocolatey and the
// community repository check them.
struct ChocolateyFacts {
    tstring id;
    tstring version;
    tstring title;
    tstring authors;
    // Empty: none in the nuspec.
    tstring projectUrl;
    tstring downloadUrl;
    tstring description;
    tstring tags;
    // The setup's file name, as it lies in tools/.
    tstring setupName;
    // msiexec's arguments for the install script (see InstallArguments).
    tstring silentArguments;
};

// `version` as Chocolatey 2 normalises it: numeric parts without leading
// zeros, at least three, a fourth part of 0 dropped ("2.0.10.0" is
// "2.0.10", "1.2" is "1.2.0"). A ProductVersion that is not 1 to 4 numbers
// joined by dots throws an error for the user.
tstring chocolateyVersion(const tstring& version);

// Chocolatey's package id: at most 100 characters, words of ASCII letters,
// digits and underscores joined by single dots or hyphens.
bool isChocolateyId(const tstring& id);

// The request's facts for the package; a value that Chocolatey requires and
// that neither the package nor the request gives, or one it would refuse,
// throws an error for the user that names the option or the property.
ChocolateyFacts chocolateyFacts(const ChocolateyRequest& request, const PackageInfo& package);

// `ID.nuspec`: UTF-8 with its declaration, the 2015/06 namespace.
std::string nuspecText(const ChocolateyFacts& facts);

// tools/chocolateyInstall.ps1, UTF-8 with a byte order mark (Windows
// PowerShell reads a file without one in the ANSI code page).
std::string installScript(const ChocolateyFacts& facts);

// tools/VERIFICATION.txt: how a moderator checks the embedded setup.
std::string verificationText(const ChocolateyFacts& facts, const std::string& sha256);
