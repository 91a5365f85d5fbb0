#pragma once

#include "ByteSource.h"
#include "PeHeaders.h"

#include <cstdint>
#include <string>
#include <vector>

// A resource type or name: a number up to 0xFFFF, or a text in UTF-16.
struct ResourceId {
    uint16_t number = 0;
    // Empty for a number.
    std::u16string name;

    static ResourceId of(uint16_t number) { return ResourceId{number, {}}; }
    static ResourceId of(const std::u16string& name) { return ResourceId{0, name}; }

    bool isName() const { return !name.empty(); }
    // As Windows looks a resource up: names without regard to the case of
    // ASCII letters.
    bool matches(const ResourceId& other) const;
};

// Where a resource stands in the tree: type, name and language.
struct ResourceKey {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;

    bool matches(const ResourceKey& other) const {
        return type.matches(other.type) && name.matches(other.name) && language == other.language;
    }
};

// A resource as a file holds it: its data's address and size.
struct ResourceEntry {
    ResourceKey key;
    uint32_t rva;
    uint32_t size;
    uint32_t codePage;
};

// The entries a resource tree may hold, at all its levels together: a tree
// that lists more is taken for damaged.
constexpr size_t resourceTreeEntryLimit = 100000;

// Every resource of a program, from the three levels of its resource
// directory (type, name, language). Throws a DamagedFileError whose reason
// completes "... is not ...: " sentences for a tree that points outside its
// section.
std::vector<ResourceEntry> readResourceTree(const ByteSource& file, const PeHeaders& headers);

// The resources that a new resource section holds: their data in memory, but
// for one resource, the streamed one, whose data is written into the section
// from elsewhere.
struct ResourceData {
    ResourceKey key;
    std::vector<uint8_t> bytes;
    uint32_t codePage = 0;
};

// A resource section in three parts: the tree, the streamed data, and the
// data held in memory. The streamed data's place depends on the resources'
// keys alone, never on their data: it is known before their data is.
struct ResourceSectionLayout {
    // The tree, from the section's start, and zero padding up to the
    // streamed data.
    std::vector<uint8_t> head;
    // Where the tree ends.
    uint64_t treeEnd;
    // Where the streamed data starts, from the section's start: `head` ends
    // there (see streamedOffsetAfter).
    uint64_t streamedOffset;
    // The data held in memory, each resource's 8-byte aligned, from
    // `tailOffset` (the first multiple of 8 after the streamed data) on.
    std::vector<uint8_t> tail;
    uint64_t tailOffset;
    // The section's size in memory: up to the end of the tail.
    uint64_t size;
};

// Where the streamed data goes in a section whose tree ends at `treeEnd`: at
// the first offset from the section's start, after the tree, where
// `alignmentBase` plus the offset is a multiple of `alignment` (a power of
// two, at least 8).
uint64_t streamedOffsetAfter(uint64_t treeEnd, uint64_t alignmentBase, uint64_t alignment);

// The keys of `resources` and, last, the streamed resource's.
std::vector<ResourceKey> resourceKeys(const std::vector<ResourceData>& resources, const ResourceKey& streamed);

// How many bytes the tree of these keys takes: its directory tables, data
// entries and name texts. Throws for a key given twice.
uint64_t resourceTreeSize(const std::vector<ResourceKey>& keys);

// Lays out a resource section at `sectionRva` around the streamed resource's
// place, fixed beforehand from the keys (see resourceTreeSize and
// streamedOffsetAfter): the directory tables (the root first), the data
// entries and the name texts; the streamed resource's `streamedSize` bytes
// at `streamedOffset`; then the data of each other resource. Throws when an
// address would not fit in 32 bits.
ResourceSectionLayout layoutResourceSection(const std::vector<ResourceData>& resources,
                                            const ResourceKey& streamed, uint64_t streamedSize,
                                            uint64_t streamedOffset, uint32_t sectionRva);
