#pragma once

#include "PackageInfo.h"
#include "TransformInfo.h"
#include "tstrings.h"

#include <cstdint>
#include <string>
#include <vector>

// What velkin-pack tells about a package or a setup executable.
struct FileContents {
    bool isSetup = false;
    // A transform has no package facts: what it tells of itself instead.
    std::optional<TransformInfo> transform;
    PackageInfo package;
    uint64_t packageSize = 0;
    // The languages it installs in, the package's own first: a setup's list
    // of languages, else the package's Template.
    std::vector<uint32_t> languages;
    // For a setup: `languages` is its own list, among which it chooses at
    // installation; false when it carries none (it installs the package as
    // it is).
    bool offersLanguages = false;
    // For a setup: the text of its product code resource (empty when there is
    // none), and whether it names the package's product, the one that
    // "uninstall" removes.
    tstring embeddedProductCode;
    bool productCodeMatches = false;
    // For a setup: the executable itself carries a well-formed Authenticode
    // signature of its bytes; if it has a certificate table that is none,
    // why not.
    bool setupSigned = false;
    std::string setupSignatureProblem;
    // The package (its own, or the setup's) carries a signature stream that
    // is no valid signature of it (package.isSigned is then false): why not.
    std::string signatureProblem;
};

// Reads a package, a transform, or the package inside a setup executable;
// throws an error for the user for any other file.
FileContents readFileContents(const tstring& path);
