#pragma once

#include "ByteSource.h"
#include "PeHeaders.h"
#include "ResourceTree.h"
#include "tstrings.h"

#include <cstdint>
#include <vector>

// The program that packing copies into every setup, read whole and checked:
// a Velkin setup stub (it carries the stub marker) whose resource section can
// grow: the section is the last one, or followed only by the base
// relocations, which may move; nothing follows the sections (no symbol table,
// no appended data) but a signature at the end of the file, which is
// dropped.
class SetupStub {
public:
    // Throws an error for the user, naming the stub, when it is none or
    // cannot grow.
    SetupStub(const ByteSource& file, const tstring& path);

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    const PeHeaders& headers() const { return headers_; }
    const std::vector<ResourceEntry>& resources() const { return resources_; }
    // The resource section's index, and the first of the sections that
    // follow it.
    size_t resourceSection() const { return resourceSection_; }

    std::vector<uint8_t> data(const ResourceEntry& entry) const;
    // The stub carried a signature, which its bytes here no longer have.
    bool signatureDropped() const { return signatureDropped_; }

private:
    std::vector<uint8_t> bytes_;
    PeHeaders headers_;
    std::vector<ResourceEntry> resources_;
    size_t resourceSection_ = 0;
    bool signatureDropped_ = false;
};
