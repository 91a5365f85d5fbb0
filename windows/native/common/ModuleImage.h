#pragma once

#include "WindowsApi.h"

#include <cstddef>
#include <cstdint>

// A loaded module's image as the loader laid it out.
namespace ModuleImage {

// Where the image starts: at the handle, less the marks that a module loaded
// as data carries in its low bits.
const uint8_t* base(HINSTANCE__* module);

// Whether the module was mapped as an image by the loader, not loaded as data.
bool isImage(HINSTANCE__* module);

// The section whose part of the file holds all `size` bytes at `data`, or
// null: a damaged directory entry may claim more than its section has, and
// the rest would be read from whatever follows in memory, or not at all.
const IMAGE_SECTION_HEADER* sectionHolding(HINSTANCE__* module, const void* data, size_t size);

} // namespace ModuleImage
