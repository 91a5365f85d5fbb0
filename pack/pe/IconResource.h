#pragma once

#include "tstrings.h"

#include <cstdint>
#include <vector>

// An icon file is read whole: it may have at most this many bytes (16 MiB,
// far beyond any real icon).
constexpr uint64_t iconFileLimit = 16 * 1024 * 1024;
// Each image takes two entries of the setup's resource tree (its name and
// its language); the tree's reader takes 100,000 entries in all, and an icon
// may take half of them.
constexpr uint16_t iconImageLimit = 25000;

// The images of an .ico file, and the icon group resource that lists them.
struct IconSet {
    std::vector<std::vector<uint8_t>> images;
    // RT_GROUP_ICON data; the images are numbered from `firstId` on.
    std::vector<uint8_t> group;
};

// Throws when the file is not an icon file, or one whose images overlap each
// other or its directory: each image's bytes are held once, and memory and
// time grow with the file's size alone.
IconSet readIconFile(const tstring& path, uint16_t firstId);
