#pragma once

#include "ByteSource.h"
#include "tstrings.h"

#include <cstdint>
#include <optional>
#include <vector>

// What a transform tells of itself: the languages, product codes and
// versions its summary information names for the package it applies to (the
// base) and for the package it makes, what an applier checks, and the tables
// it changes.
struct TransformInfo {
    std::optional<uint32_t> language;
    std::optional<uint32_t> baseLanguage;
    tstring productCode;
    tstring productVersion;
    tstring baseProductCode;
    tstring baseProductVersion;
    tstring upgradeCode;
    // The summary's character count: validation flags in the upper word, the
    // error conditions suppressed in the lower.
    uint32_t validation = 0;
    uint32_t errorConditions = 0;
    // The tables whose stream it holds, in the order of the file's directory.
    std::vector<tstring> tables;
};

// Reads the transform at `size` bytes of `file` from `offset`; nullopt when
// the compound file is no transform (a package). Throws a DamagedFileError
// for a file that is no compound file or whose summary is damaged.
std::optional<TransformInfo> readTransformInfo(const ByteSource& file, uint64_t offset, uint64_t size);
