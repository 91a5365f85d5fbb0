#pragma once

#include "PackFiles.h"
#include "ResourceTree.h"
#include "SetupStub.h"

#include <cstdint>
#include <vector>

// A setup executable planned around a stub before a byte is written: the
// stub's own sections up to its resources as they are, a new resource section
// in their place that ends with the package, and the base relocations moved
// behind it. Every offset and size is known from the package's size alone, so
// the package streams from its file.
class SetupLayout {
public:
    // `resources` replace the stub's own; the package goes last, under
    // `packageKey`.
    SetupLayout(const SetupStub& stub, const std::vector<ResourceData>& resources,
                const ResourceKey& packageKey, uint64_t packageSize);

    // The largest package this layout could carry with the image below 2 GiB.
    uint64_t largestPackage() const;
    uint64_t imageSize() const { return imageSize_; }
    uint64_t fileSize() const { return fileSize_; }
    uint64_t packageOffset() const { return packageOffset_; }

    // Writes the setup, the package streamed from `package`, and gives the
    // CheckSum it wrote. Refuses an image of 2 GiB or beyond first.
    uint32_t write(StagedOutput& output, const InputFile& package) const;

private:
    struct Piece {
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };

    const SetupStub& stub_;
    ResourceSectionLayout section_;
    uint64_t packageSize_;
    uint64_t packageOffset_ = 0;
    uint64_t imageSize_ = 0;
    uint64_t fileSize_ = 0;
    // Everything but the package, in file order.
    std::vector<Piece> pieces_;
    size_t checksumOffset_ = 0;
};
