#pragma once

#include "ResourceTree.h"

#include <cstdint>
#include <vector>

// The smallest 64-bit program the packing layer reads: headers and one
// section, the resource section, at address 0x1000 and file offset 0x200,
// holding `resources`.
std::vector<uint8_t> syntheticImage(const std::vector<uint8_t>& resources);

constexpr uint32_t syntheticResourceRva = 0x1000;
constexpr uint32_t syntheticResourceOffset = 0x200;

// A resource section placed as a setup's is: the streamed data at the first
// offset after the tree where `alignmentBase` plus the offset is a multiple
// of `alignment`.
ResourceSectionLayout alignedResourceSection(const std::vector<ResourceData>& resources, const ResourceKey& streamed,
                                             uint64_t streamedSize, uint64_t alignmentBase, uint64_t alignment,
                                             uint32_t sectionRva);
