#include "SetupWriter.h"

#include "ErrorHandling.h"
#include "PeChecksum.h"

using LittleEndian::get32;
using LittleEndian::put32;

namespace {

// A Windows image, and so the whole setup, must stay below 2 GiB.
constexpr uint64_t imageLimit = uint64_t{1} << 31;
// A package of a MiB or more starts at a multiple of 64 KiB in the file: the
// kernel copies it into the setup in whole large pages then, a third faster
// than at an offset of mere 4 KiB pages (measured on Linux 6.18 with ext4),
// and the padding is at most 6 % of it. A smaller one follows its data at the
// next 8 bytes.
constexpr uint64_t largePackage = 1024 * 1024;
constexpr uint64_t largePackageAlignment = 64 * 1024;

uint64_t packageAlignment(uint64_t packageSize) { return packageSize >= largePackage ? largePackageAlignment : 8; }

uint64_t alignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

} // namespace

SetupWriter::SetupWriter(const SetupStub& stub, const std::vector<ResourceData>& resources,
                         const ResourceKey& packageKey, uint64_t packageSize)
    : stub_(stub), packageSize_(packageSize) {
    const PeHeaders& headers = stub.headers();
    const std::vector<PeSection>& sections = headers.sections();
    const size_t first = stub.resourceSection();
    const PeSection& resourceSection = sections[first];
    section_ = layoutResourceSection(resources, packageKey, packageSize, resourceSection.pointerToRawData,
                                     packageAlignment(packageSize), resourceSection.virtualAddress);
    packageOffset_ = resourceSection.pointerToRawData + section_.streamedOffset;

    std::vector<uint8_t> prefix(stub.bytes().begin(), stub.bytes().begin() + resourceSection.pointerToRawData);
    std::vector<PeSection> placed = sections;
    placed[first].virtualSize = static_cast<uint32_t>(section_.size);
    placed[first].sizeOfRawData = static_cast<uint32_t>(alignUp(section_.size, headers.fileAlignment()));
    uint64_t relocationShift = 0;
    for (size_t i = first + 1; i < placed.size(); ++i) {
        const PeSection& before = placed[i - 1];
        const uint64_t address = alignUp(uint64_t{before.virtualAddress} + before.virtualSize,
                                         headers.sectionAlignment());
        // Negative when the resource section shrinks: the difference wraps
        // in 64 bits, and the 32-bit sum it is added to below comes out
        // right, since that write keeps the low 32 bits alone.
        relocationShift = address - sections[i].virtualAddress;
        placed[i].virtualAddress = static_cast<uint32_t>(address);
        placed[i].pointerToRawData = static_cast<uint32_t>(before.rawEnd());
    }
    const PeSection& last = placed.back();
    imageSize_ = alignUp(uint64_t{last.virtualAddress} + last.virtualSize, headers.sectionAlignment());
    fileSize_ = placed[first].rawEnd();

    uint64_t initializedData = 0;
    for (size_t i = 0; i < placed.size(); ++i) {
        if (placed[i].characteristics & PeHeaders::initializedData) {
            initializedData += placed[i].sizeOfRawData;
        }
        if (i >= first) {
            uint8_t* header = &prefix[headers.sectionOffset(i)];
            put32(header + 8, placed[i].virtualSize);
            put32(header + 12, placed[i].virtualAddress);
            put32(header + 16, placed[i].sizeOfRawData);
            put32(header + 20, placed[i].pointerToRawData);
        }
    }
    put32(&prefix[headers.directoryOffset(PeHeaders::Resources) + 4], static_cast<uint32_t>(section_.size));
    if (first + 1 < placed.size()) {
        uint8_t* relocations = &prefix[headers.directoryOffset(PeHeaders::Relocations)];
        put32(relocations, static_cast<uint32_t>(get32(relocations) + relocationShift));
    }
    put32(&prefix[headers.sizeOfImageOffset()], static_cast<uint32_t>(imageSize_));
    put32(&prefix[headers.sizeOfInitializedDataOffset()], static_cast<uint32_t>(initializedData));
    checksumOffset_ = headers.checksumOffset();
    put32(&prefix[checksumOffset_], 0);

    pieces_.push_back(Piece{0, std::move(prefix)});
    pieces_.push_back(Piece{resourceSection.pointerToRawData, section_.head});
    const uint64_t tailOffset = resourceSection.pointerToRawData + section_.tailOffset;
    pieces_.push_back(Piece{tailOffset, section_.tail});
    const uint64_t tailEnd = tailOffset + section_.tail.size();
    pieces_.push_back(Piece{tailEnd, std::vector<uint8_t>(static_cast<size_t>(fileSize_ - tailEnd), 0)});
    for (size_t i = first + 1; i < placed.size(); ++i) {
        const auto from = stub.bytes().begin() + sections[i].pointerToRawData;
        pieces_.push_back(Piece{placed[i].pointerToRawData,
                                std::vector<uint8_t>(from, from + sections[i].sizeOfRawData)});
        fileSize_ = std::max(fileSize_, placed[i].rawEnd());
    }
}

uint64_t SetupWriter::largestPackage() const {
    const PeHeaders& headers = stub_.headers();
    const std::vector<PeSection>& sections = headers.sections();
    const size_t first = stub_.resourceSection();
    uint64_t following = 0;
    for (size_t i = first + 1; i < sections.size(); ++i) {
        following += alignUp(sections[i].virtualSize, headers.sectionAlignment());
    }
    if (following >= imageLimit) {
        return 0;
    }
    const uint64_t alignment = headers.sectionAlignment();
    const uint64_t resourceEnd = (imageLimit - 1 - following) / alignment * alignment;
    // A package near the limit is a large one, placed as large ones are, and
    // the data after it starts at the next multiple of 8.
    const uint64_t packageStart =
        streamedOffsetAfter(section_.treeEnd, sections[first].pointerToRawData, largePackageAlignment);
    const uint64_t taken =
        sections[first].virtualAddress + packageStart + (section_.size - section_.tailOffset);
    return resourceEnd > taken ? (resourceEnd - taken) / 8 * 8 : 0;
}

void SetupWriter::copyPackage(StagedOutput& output, const InputFile& package) const {
    if (package.size() != packageSize_) {
        VK_THROW_MSG("The package " << package.path() << " changed its size while it was packed");
    }
    output.copy(package, 0, packageOffset_, packageSize_);
}

uint32_t SetupWriter::writeAround(StagedOutput& output, PackageChecksum& packageSum) const {
    if (imageSize_ >= imageLimit) {
        VK_THROW_MSG("A setup of " << imageSize_ << " bytes in memory cannot be written");
    }
    PeChecksum checksum;
    for (const Piece& piece : pieces_) {
        output.write(piece.offset, piece.bytes.data(), piece.bytes.size());
        checksum.add(piece.offset, piece.bytes.data(), piece.bytes.size());
    }
    checksum.add(packageSum.get());
    const uint32_t value = checksum.finish(fileSize_);
    uint8_t field[4];
    put32(field, value);
    output.write(checksumOffset_, field, sizeof(field));
    return value;
}
