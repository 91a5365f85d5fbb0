#include "PeHeaders.h"

#include "DamagedFile.h"

using LittleEndian::get16;
using LittleEndian::get32;
using namespace PeFormat;

namespace {

constexpr uint16_t pe32PlusMagic = 0x20B;
constexpr uint16_t amd64 = 0x8664;
// The largest header block a linker writes is a few KiB; anything far beyond
// is no program of ours.
constexpr uint32_t headersLimit = 64 * 1024;

bool isPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

} // namespace

PeHeaders::PeHeaders(const ByteSource& file) {
    const uint16_t sectionCount = readFileHeader(file, readDosHeader(file));
    readOptionalHeader(file, sectionCount);
    readSections(file, sectionCount);
}

uint32_t PeHeaders::readDosHeader(const ByteSource& file) const {
    uint8_t dos[dosHeaderSize];
    if (file.size() < sizeof(dos)) {
        VK_THROW_DAMAGED("it is no Windows program");
    }
    file.read(0, dos, sizeof(dos));
    const uint32_t peOffset = get32(dos + peHeaderPointer);
    if (dos[0] != 'M' || dos[1] != 'Z' || peOffset > headersLimit ||
        file.size() < uint64_t{peOffset} + FileHeader::size) {
        VK_THROW_DAMAGED("it is no Windows program");
    }
    return peOffset;
}

// Gives the section count; the headers' bytes are read up to the end of the
// section table.
uint16_t PeHeaders::readFileHeader(const ByteSource& file, uint32_t peOffset) {
    uint8_t signature[FileHeader::size];
    file.read(peOffset, signature, sizeof(signature));
    if (signature[0] != 'P' || signature[1] != 'E' || signature[2] != 0 || signature[3] != 0) {
        VK_THROW_DAMAGED("it is no Windows program");
    }
    const uint16_t sectionCount = get16(signature + FileHeader::sectionCount);
    optionalSize_ = get16(signature + FileHeader::optionalHeaderSize);
    optional_ = peOffset + FileHeader::size;
    sections_ = optional_ + optionalSize_;
    const uint64_t sectionsEnd = uint64_t{sections_} + uint64_t{SectionHeader::size} * sectionCount;
    if (get16(signature + FileHeader::machine) != amd64 || optionalSize_ < OptionalHeader::directories ||
        sectionsEnd > headersLimit || file.size() < sectionsEnd) {
        VK_THROW_DAMAGED("it is no 64-bit Windows program");
    }
    symbolTable_ = get32(signature + FileHeader::symbolTable);
    bytes_ = file.bytes(0, static_cast<size_t>(sectionsEnd));
    return sectionCount;
}

void PeHeaders::readOptionalHeader(const ByteSource& file, uint16_t sectionCount) {
    const uint8_t* optional = bytes_.data() + optional_;
    if (get16(optional + OptionalHeader::magic) != pe32PlusMagic) {
        VK_THROW_DAMAGED("it is no 64-bit Windows program");
    }
    sectionAlignment_ = get32(optional + OptionalHeader::sectionAlignment);
    fileAlignment_ = get32(optional + OptionalHeader::fileAlignment);
    const uint32_t sizeOfHeaders = get32(optional + OptionalHeader::sizeOfHeaders);
    directoryCount_ = get32(optional + OptionalHeader::directoryCount);
    const uint64_t sectionsEnd = uint64_t{sections_} + uint64_t{SectionHeader::size} * sectionCount;
    if (!isPowerOfTwo(sectionAlignment_) || !isPowerOfTwo(fileAlignment_) ||
        fileAlignment_ > sectionAlignment_ || sizeOfHeaders < sectionsEnd || sizeOfHeaders > headersLimit ||
        sizeOfHeaders > file.size() ||
        uint64_t{OptionalHeader::directories} + uint64_t{DataDirectory::entrySize} * directoryCount_ >
            optionalSize_) {
        VK_THROW_DAMAGED("its headers are damaged");
    }
    // The writer copies every header byte up to the first section's data.
    bytes_ = file.bytes(0, sizeOfHeaders);
}

void PeHeaders::readSections(const ByteSource& file, uint16_t sectionCount) {
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint8_t* header = bytes_.data() + sectionOffset(i);
        PeSection section;
        section.name.assign(reinterpret_cast<const char*>(header), 8);
        section.name.resize(section.name.find('\0') == std::string::npos ? 8 : section.name.find('\0'));
        section.virtualSize = get32(header + SectionHeader::virtualSize);
        section.virtualAddress = get32(header + SectionHeader::virtualAddress);
        section.sizeOfRawData = get32(header + SectionHeader::sizeOfRawData);
        section.pointerToRawData = get32(header + SectionHeader::pointerToRawData);
        section.characteristics = get32(header + SectionHeader::characteristics);
        if (section.sizeOfRawData != 0 && section.rawEnd() > file.size()) {
            VK_THROW_DAMAGED("its section " << section.name << " lies beyond the end of the file");
        }
        if (!sectionList_.empty() &&
            section.virtualAddress < uint64_t{sectionList_.back().virtualAddress} + sectionList_.back().virtualSize) {
            VK_THROW_DAMAGED("its sections overlap");
        }
        sectionList_.push_back(section);
    }
}

uint32_t PeHeaders::checksum() const { return get32(bytes_.data() + checksumOffset()); }

uint32_t PeHeaders::sizeOfImage() const { return get32(bytes_.data() + sizeOfImageOffset()); }

uint32_t PeHeaders::sizeOfInitializedData() const {
    return get32(bytes_.data() + sizeOfInitializedDataOffset());
}

PeDirectory PeHeaders::directory(Directory index) const {
    if (index >= directoryCount_) {
        return PeDirectory{0, 0};
    }
    const uint8_t* entry = bytes_.data() + directoryOffset(index);
    return PeDirectory{get32(entry + DataDirectory::address), get32(entry + DataDirectory::size)};
}

size_t PeHeaders::sectionAt(uint32_t rva) const {
    for (size_t i = 0; i < sectionList_.size(); ++i) {
        const PeSection& section = sectionList_[i];
        if (rva >= section.virtualAddress && rva - section.virtualAddress < section.virtualSize) {
            return i;
        }
    }
    return sectionList_.size();
}

uint64_t PeHeaders::fileOffset(uint32_t rva, uint32_t size) const {
    const size_t index = sectionAt(rva);
    if (index == sectionList_.size()) {
        VK_THROW_DAMAGED("an address lies in no section");
    }
    const PeSection& section = sectionList_[index];
    const uint32_t inside = rva - section.virtualAddress;
    if (size > section.rawSize() || inside > section.rawSize() - size) {
        VK_THROW_DAMAGED("data in section " << section.name << " lies beyond its end");
    }
    return uint64_t{section.pointerToRawData} + inside;
}

uint64_t PeHeaders::endOfSections() const {
    uint64_t end = bytes_.size();
    for (const PeSection& section : sectionList_) {
        if (section.sizeOfRawData != 0 && section.rawEnd() > end) {
            end = section.rawEnd();
        }
    }
    return end;
}
