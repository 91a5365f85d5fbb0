#include "SyntheticImage.h"

#include "ByteSource.h"

using LittleEndian::put16;
using LittleEndian::put32;

std::vector<uint8_t> syntheticImage(const std::vector<uint8_t>& resources) {
    const uint32_t rawSize = static_cast<uint32_t>((resources.size() + 0x1FF) / 0x200 * 0x200);
    std::vector<uint8_t> image(syntheticResourceOffset + rawSize, 0);
    image[0] = 'M';
    image[1] = 'Z';
    put32(&image[0x3C], 0x40);
    uint8_t* pe = &image[0x40];
    pe[0] = 'P';
    pe[1] = 'E';
    put16(pe + 4, 0x8664);
    put16(pe + 6, 1);
    put16(pe + 20, 112 + 16 * 8);
    uint8_t* optional = pe + 24;
    put16(optional, 0x20B);
    put32(optional + 32, 0x1000);
    put32(optional + 36, 0x200);
    put32(optional + 56, syntheticResourceRva + (rawSize + 0xFFF) / 0x1000 * 0x1000);
    put32(optional + 60, 0x200);
    put32(optional + 108, 16);
    put32(optional + 112 + 8 * 2, syntheticResourceRva);
    put32(optional + 112 + 8 * 2 + 4, static_cast<uint32_t>(resources.size()));
    uint8_t* section = optional + 112 + 16 * 8;
    const char name[] = ".rsrc";
    std::copy(name, name + 5, section);
    put32(section + 8, static_cast<uint32_t>(resources.size()));
    put32(section + 12, syntheticResourceRva);
    put32(section + 16, rawSize);
    put32(section + 20, syntheticResourceOffset);
    put32(section + 36, 0x40000040);
    std::copy(resources.begin(), resources.end(), image.begin() + syntheticResourceOffset);
    return image;
}

ResourceSectionLayout alignedResourceSection(const std::vector<ResourceData>& resources, const ResourceKey& streamed,
                                             uint64_t streamedSize, uint64_t alignmentBase, uint64_t alignment,
                                             uint32_t sectionRva) {
    const uint64_t treeSize = resourceTreeSize(resourceKeys(resources, streamed));
    return layoutResourceSection(resources, streamed, streamedSize,
                                 streamedOffsetAfter(treeSize, alignmentBase, alignment), sectionRva);
}
