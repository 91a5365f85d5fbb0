#pragma once

#include "tstrings.h"

#include <cstdint>
#include <vector>

// The images of an .ico file, and the icon group resource that lists them.
struct IconSet {
    std::vector<std::vector<uint8_t>> images;
    // RT_GROUP_ICON data; the images are numbered from `firstId` on.
    std::vector<uint8_t> group;
};

// Throws when the file is not an icon file.
IconSet readIconFile(const tstring& path, uint16_t firstId);
