#include "SetupWriter.h"

#include "ErrorHandling.h"
#include "PeChecksum.h"
#include "PeFormat.h"

using LittleEndian::get32;
using LittleEndian::put32;
using namespace PeFormat;

namespace {

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

uint64_t SetupWriter::packagePlace(const SetupStub& stub, const std::vector<ResourceKey>& keys,
                                   uint64_t packageSize) {
    const PeSection& section = stub.headers().sections()[stub.resourceSection()];
    return section.pointerToRawData + streamedOffsetAfter(resourceTreeSize(keys), section.pointerToRawData,
                                                          packageAlignment(packageSize));
}

SetupWriter::SetupWriter(const SetupStub& stub, const std::vector<ResourceData>& resources,
                         const ResourceKey& packageKey, uint64_t packageSize)
    : stub_(stub), packageSize_(packageSize) {
    // Place, then fill: the package's place first, from the keys and its
    // size alone; the resource section is laid out around it.
    const PeSection& resourceSection = stub.headers().sections()[stub.resourceSection()];
    packageOffset_ = packagePlace(stub, resourceKeys(resources, packageKey), packageSize);
    section_ = layoutResourceSection(resources, packageKey, packageSize,
                                     packageOffset_ - resourceSection.pointerToRawData,
                                     resourceSection.virtualAddress);
    const std::vector<PeSection> placed = placeSections();
    checksumOffset_ = stub.headers().checksumOffset();
    pieces_.push_back(Piece{0, patchedHeaders(placed)});
    collectSections(placed);
}

std::vector<PeSection> SetupWriter::placeSections() {
    const PeHeaders& headers = stub_.headers();
    const size_t first = stub_.resourceSection();
    std::vector<PeSection> placed = headers.sections();
    placed[first].virtualSize = static_cast<uint32_t>(section_.size);
    placed[first].sizeOfRawData = static_cast<uint32_t>(alignUp(section_.size, headers.fileAlignment()));
    for (size_t i = first + 1; i < placed.size(); ++i) {
        const PeSection& before = placed[i - 1];
        placed[i].virtualAddress = static_cast<uint32_t>(
            alignUp(uint64_t{before.virtualAddress} + before.virtualSize, headers.sectionAlignment()));
        placed[i].pointerToRawData = static_cast<uint32_t>(before.rawEnd());
    }
    const PeSection& last = placed.back();
    imageSize_ = alignUp(uint64_t{last.virtualAddress} + last.virtualSize, headers.sectionAlignment());
    return placed;
}

std::vector<uint8_t> SetupWriter::patchedHeaders(const std::vector<PeSection>& placed) const {
    const PeHeaders& headers = stub_.headers();
    const std::vector<PeSection>& sections = headers.sections();
    const size_t first = stub_.resourceSection();
    std::vector<uint8_t> prefix(stub_.bytes().begin(), stub_.bytes().begin() + sections[first].pointerToRawData);
    uint64_t initializedData = 0;
    for (size_t i = 0; i < placed.size(); ++i) {
        if (placed[i].characteristics & PeHeaders::initializedData) {
            initializedData += placed[i].sizeOfRawData;
        }
        if (i >= first) {
            uint8_t* header = &prefix[headers.sectionOffset(i)];
            put32(header + SectionHeader::virtualSize, placed[i].virtualSize);
            put32(header + SectionHeader::virtualAddress, placed[i].virtualAddress);
            put32(header + SectionHeader::sizeOfRawData, placed[i].sizeOfRawData);
            put32(header + SectionHeader::pointerToRawData, placed[i].pointerToRawData);
        }
    }
    put32(&prefix[headers.directoryOffset(PeHeaders::Resources) + DataDirectory::size],
          static_cast<uint32_t>(section_.size));
    if (first + 1 < placed.size()) {
        // The relocations lie in the last section, and move with it. A
        // resource section that shrank moves them down: the 32-bit
        // difference wraps, and the sum with it comes out right.
        const uint32_t shift = placed.back().virtualAddress - sections.back().virtualAddress;
        uint8_t* relocations = &prefix[headers.directoryOffset(PeHeaders::Relocations) + DataDirectory::address];
        put32(relocations, get32(relocations) + shift);
    }
    put32(&prefix[headers.sizeOfImageOffset()], static_cast<uint32_t>(imageSize_));
    put32(&prefix[headers.sizeOfInitializedDataOffset()], static_cast<uint32_t>(initializedData));
    put32(&prefix[checksumOffset_], 0);
    return prefix;
}

void SetupWriter::collectSections(const std::vector<PeSection>& placed) {
    const std::vector<PeSection>& sections = stub_.headers().sections();
    const size_t first = stub_.resourceSection();
    const uint64_t sectionStart = placed[first].pointerToRawData;
    fileSize_ = placed[first].rawEnd();
    pieces_.push_back(Piece{sectionStart, section_.head});
    const uint64_t tailOffset = sectionStart + section_.tailOffset;
    pieces_.push_back(Piece{tailOffset, section_.tail});
    const uint64_t tailEnd = tailOffset + section_.tail.size();
    pieces_.push_back(Piece{tailEnd, std::vector<uint8_t>(static_cast<size_t>(fileSize_ - tailEnd), 0)});
    for (size_t i = first + 1; i < placed.size(); ++i) {
        const auto from = stub_.bytes().begin() + sections[i].pointerToRawData;
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
    return writeAround(output, packageSum.get());
}

uint32_t SetupWriter::writeAround(StagedOutput& output, const PeChecksum& packageSum) const {
    if (imageSize_ >= imageLimit) {
        VK_THROW_MSG("A setup of " << imageSize_ << " bytes in memory cannot be written");
    }
    PeChecksum checksum;
    for (const Piece& piece : pieces_) {
        output.write(piece.offset, piece.bytes.data(), piece.bytes.size());
        checksum.add(piece.offset, piece.bytes.data(), piece.bytes.size());
    }
    checksum.add(packageSum);
    const uint32_t value = checksum.finish(fileSize_);
    uint8_t field[4];
    put32(field, value);
    output.write(checksumOffset_, field, sizeof(field));
    return value;
}
