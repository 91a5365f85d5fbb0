#pragma once

#include "tstrings.h"

#include <cstdint>
#include <utility>
#include <vector>

// The binary version record (VS_VERSIONINFO) of an executable.
struct VersionInfo {
    // Up to four numbers; "1.2.3" is 1.2.3.0, anything not a number is 0.
    tstring version;
    // Name and value pairs of the string table, in order. A value of more
    // than 1024 UTF-16 units is cut to 1021 and "..." (a character beyond
    // the BMP is never split), so that each record's 16-bit length holds it.
    std::vector<std::pair<tstring, tstring>> strings;
    uint16_t language = 0x0409;  // U.S. English
    uint16_t codePage = 1200;    // UTF-16
};

// Throws if the record would still exceed 64 KiB (more texts than a setup
// writes).
std::vector<uint8_t> buildVersionResource(const VersionInfo& info);

// The four 16-bit numbers of a dotted version text.
void parseVersion(const tstring& version, uint16_t (&parts)[4]);
