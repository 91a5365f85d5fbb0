#pragma once

#include "FileContents.h"
#include "tstrings.h"

#include <string>
#include <vector>

// What `velkin-pack manifest --winget` is asked for.
struct WingetRequest {
    tstring setup;
    tstring id;
    tstring url;
    tstring license;
    // Empty: the package's summary subject or comments.
    tstring shortDescription;
    tstring locale = L"en-US";
    tstring directory;
};

struct ManifestFile {
    tstring name;
    // UTF-8, LF line ends.
    std::string text;
};

// The three files of a winget multi-file manifest (ManifestVersion 1.10.0)
// for the setup that `contents` describes and whose SHA-256 is `sha256`
// (64 hex digits): version, default locale, installer, in that order. A
// value that winget requires and that neither the package nor the request
// gives, or one that winget would refuse, throws an error for the user that
// names the option or the package's property.
std::vector<ManifestFile> wingetManifests(const WingetRequest& request, const FileContents& contents,
                                          const std::string& sha256);

// Reads the setup and writes its manifest files into the request's
// directory, which must exist: all three, or none when anything fails before
// they are published.
void writeWingetManifests(const WingetRequest& request);
