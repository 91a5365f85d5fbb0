#pragma once

#include "CompoundFile.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One package for several languages: the base package's own tree, with the
// transform to each other language as a substorage named by that language's
// decimal LANGID (where `TRANSFORMS=:1031` finds it), and its summary
// information naming every language in the Template, the base's first, under
// a PackageCode of its own. All else is the base's, stream for stream.
struct LanguageTransform {
    uint16_t language;
    // The transform's root: its streams, storages and CLSID.
    CompoundStorage transform;
};

struct MultilingualParts {
    const CompoundStorage& base;
    // The base's language, its ProductLanguage.
    uint16_t baseLanguage;
    // In the order given, each language once and none the base's.
    std::vector<LanguageTransform> variants;
    // The braced GUID, upper case.
    std::string packageCode;
    // The signature streams go: a signature of the base does not sign this
    // package, which is to be signed anew.
    bool dropSignature = false;
};

// "Intel;1033,1031,1036": the base's platform (its Template's part before the
// semicolon), then the base's language and each variant's.
std::string multilingualTemplate(const std::string& baseTemplate, uint16_t baseLanguage,
                                 const std::vector<uint16_t>& variants);

// Throws a DamagedFileError when the base has no summary information.
CompoundStorage multilingualPackage(const MultilingualParts& parts);

// A name-based GUID (version 5's layout, from SHA-256 rather than SHA-1) from
// a digest of what names it: braced and in upper case, as a PackageCode is.
std::string nameBasedGuid(const std::array<uint8_t, 32>& digest);

