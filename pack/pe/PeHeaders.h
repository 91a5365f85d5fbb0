#pragma once

#include "ByteSource.h"
#include "PeFormat.h"

#include <cstdint>
#include <string>
#include <vector>

struct PeSection {
    std::string name;
    uint32_t virtualSize;
    uint32_t virtualAddress;
    uint32_t sizeOfRawData;
    uint32_t pointerToRawData;
    uint32_t characteristics;

    uint64_t rawEnd() const { return uint64_t{pointerToRawData} + sizeOfRawData; }
    // The part of the section that the file holds: the rest of the image is
    // zero-filled memory.
    uint32_t rawSize() const { return virtualSize < sizeOfRawData ? virtualSize : sizeOfRawData; }
};

struct PeDirectory {
    uint32_t rva;
    uint32_t size;
};

// The headers of a 64-bit Windows program (PE32+), read with every offset
// checked against the file. Damage throws a DamagedFileError whose reason
// completes "... is not ...: " sentences: "it is no Windows program", and so
// on.
class PeHeaders {
public:
    // Indices of the data directories that packing reads or writes.
    enum Directory : size_t { Resources = 2, Certificates = 4, Relocations = 5 };
    // A PE32+ optional header has room for this many.
    static constexpr size_t directoryLimit = 16;
    // Section flag: the section holds initialized data.
    static constexpr uint32_t initializedData = 0x40;

    explicit PeHeaders(const ByteSource& file);

    // The header bytes as the file has them (SizeOfHeaders), and the
    // offsets of the fields that packing changes, within them.
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    size_t checksumOffset() const { return optional_ + PeFormat::OptionalHeader::checksum; }
    size_t sizeOfImageOffset() const { return optional_ + PeFormat::OptionalHeader::sizeOfImage; }
    size_t sizeOfInitializedDataOffset() const { return optional_ + PeFormat::OptionalHeader::sizeOfInitializedData; }
    size_t directoryOffset(Directory index) const {
        return optional_ + PeFormat::OptionalHeader::directories + PeFormat::DataDirectory::entrySize * index;
    }
    size_t sectionOffset(size_t index) const { return sections_ + PeFormat::SectionHeader::size * index; }

    uint32_t sectionAlignment() const { return sectionAlignment_; }
    uint32_t fileAlignment() const { return fileAlignment_; }
    uint32_t checksum() const;
    uint32_t sizeOfImage() const;
    uint32_t sizeOfInitializedData() const;
    // Where the COFF symbol table starts; 0 when there is none.
    uint32_t symbolTable() const { return symbolTable_; }

    const std::vector<PeSection>& sections() const { return sectionList_; }
    // Zero for a directory that the file does not have.
    PeDirectory directory(Directory index) const;
    // The index of the section whose image memory holds the address, or
    // sections().size() for none.
    size_t sectionAt(uint32_t rva) const;
    // The file offset of `size` bytes at `rva`, all in one section's raw data.
    uint64_t fileOffset(uint32_t rva, uint32_t size) const;
    // The end of the last section's raw data: where a program's own bytes end.
    uint64_t endOfSections() const;

private:
    // The steps of reading, in file order; each throws for its damage.
    uint32_t readDosHeader(const ByteSource& file) const;
    uint16_t readFileHeader(const ByteSource& file, uint32_t peOffset);
    void readOptionalHeader(const ByteSource& file, uint16_t sectionCount);
    void readSections(const ByteSource& file, uint16_t sectionCount);

    std::vector<uint8_t> bytes_;
    size_t optional_ = 0;
    size_t sections_ = 0;
    uint16_t optionalSize_ = 0;
    uint32_t directoryCount_ = 0;
    uint32_t sectionAlignment_ = 0;
    uint32_t fileAlignment_ = 0;
    uint32_t symbolTable_ = 0;
    std::vector<PeSection> sectionList_;
};
