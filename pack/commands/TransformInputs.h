#pragma once

#include "CompoundFileReader.h"
#include "MsiDatabase.h"
#include "PackFiles.h"
#include "PackageInfo.h"
#include "TransformBuilder.h"
#include "tstrings.h"

#include <cstdint>
#include <memory>

// One package, read twice: by the host's reader, whose facts judge the
// product, and by velkin-pack's own reading of its tables and streams.
// Refused, in one sentence naming the file, when it is no package or the two
// readings disagree on its ProductCode.
struct ReadPackage {
    explicit ReadPackage(const tstring& path);

    tstring path;
    InputFile file;
    std::unique_ptr<CompoundFileReader> reader;
    std::unique_ptr<MsiDatabase> database;
    RawPackageFacts facts;
    PackageInfo info;
};

// A transform is a package's companion: the installer reads it whole, and
// velkin-pack keeps to the size it packs.
constexpr uint64_t largestTransform = (uint64_t{1} << 31) - 1;

// The checks `transform` makes of its two packages before it reads their
// tables: both are files, not one file, and not the output.
void checkTransformFiles(const tstring& base, const tstring& variant, const tstring& output);

// A language variant keeps its product's ProductCode and UpgradeCode.
void requireSameProduct(const ReadPackage& base, const ReadPackage& variant);

// The transform from `base` to `variant`, refused when it would exceed
// largestTransform. Its streams read from the packages, which must outlive it.
TransformContents transformBetween(const ReadPackage& base, const ReadPackage& variant);
