#pragma once

#include "PackFiles.h"
#include "PackageChecksum.h"
#include "ResourceTree.h"
#include "SetupStub.h"

#include <cstdint>
#include <vector>

// A setup executable planned around a stub before a byte is written: the
// stub's own sections up to its resources as they are, a new resource section
// in their place (its tree, the package, the other resources' data), and the
// base relocations moved behind it; then written, the package first if need
// be. Every offset and size is known from the package's size and the
// resources' data sizes, so the package streams from its file.
class SetupWriter {
public:
    // A Windows image, and so the whole setup, must stay below 2 GiB.
    static constexpr uint64_t imageLimit = uint64_t{1} << 31;

    // `resources` replace the stub's own; the package goes last, under
    // `packageKey`.
    SetupWriter(const SetupStub& stub, const std::vector<ResourceData>& resources,
                const ResourceKey& packageKey, uint64_t packageSize);

    // Where the package goes in a setup from `stub` whose resources have
    // these keys, the package's among them: a function of the keys and the
    // package's size alone, never of the other resources' data, so that the
    // package can be copied there before that is known. Every layout puts
    // it there.
    static uint64_t packagePlace(const SetupStub& stub, const std::vector<ResourceKey>& keys,
                                 uint64_t packageSize);

    // The largest package this layout could carry with the image below 2 GiB.
    uint64_t largestPackage() const;
    uint64_t imageSize() const { return imageSize_; }
    uint64_t fileSize() const { return fileSize_; }
    uint64_t packageOffset() const { return packageOffset_; }

    // Streams the package from `package` into its place, which depends on
    // the resources' keys and the package's size alone, so that the copy
    // can start before the other resources' data is known.
    void copyPackage(StagedOutput& output, const InputFile& package) const;
    // Writes everything but the package, and the CheckSum, and gives the
    // CheckSum. Refuses an image of 2 GiB or beyond first.
    uint32_t writeAround(StagedOutput& output, PackageChecksum& packageSum) const;
    // The same, with the package's share of the CheckSum summed as it was
    // written.
    uint32_t writeAround(StagedOutput& output, const PeChecksum& packageSum) const;

private:
    // The steps of planning: the sections placed around the new resource
    // section (and the image's size), the headers patched to match, and
    // the pieces of the file collected in order.
    std::vector<PeSection> placeSections();
    std::vector<uint8_t> patchedHeaders(const std::vector<PeSection>& placed) const;
    void collectSections(const std::vector<PeSection>& placed);

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
