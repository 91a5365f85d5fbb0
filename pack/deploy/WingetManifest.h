#pragma once

#include "FileContents.h"
#include "tstrings.h"

#include <string>
#include <vector>

// What `velkin-pack manifest --winget` is asked for: one set of manifests
// for the setups of one product version (one a architecture each), each
// with its download URL, in the same order.
struct WingetRequest {
    std::vector<tstring> setups;
    tstring id;
    std::vector<tstring> urls;
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

// A setup as its manifest tells it.
struct WingetSetup {
    // As the user named it, for messages.
    tstring path;
    FileContents contents;
    // 64 hex digits.
    std::string sha256;
    tstring url;
};

// The three files of a winget multi-file manifest (ManifestVersion 1.10.0)
// for the setups, the first of which gives the version and the default
// locale: version, default locale, installer (with the installers of each
// setup in turn), in that order. A value that winget requires and that
// neither the package nor the request gives, or one that winget would
// refuse, throws an error for the user that names the option or the
// package's property; so do setups of different product versions and two
// for one architecture.
std::vector<ManifestFile> wingetManifests(const WingetRequest& request, const std::vector<WingetSetup>& setups);

// Reads the setups and writes their manifest files into the request's
// directory, which must exist: all three, or none when anything fails before
// they are published.
void writeWingetManifests(const WingetRequest& request);
