#include "PeHeaders.h"

#include "ErrorHandling.h"

using LittleEndian::get16;
using LittleEndian::get32;

namespace {

constexpr uint16_t pe32PlusMagic = 0x20B;
constexpr uint16_t amd64 = 0x8664;
// The largest header block a linker writes is a few KiB; anything far beyond
// is no program of ours.
constexpr uint32_t headersLimit = 64 * 1024;

bool isPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

} // namespace

PeHeaders::PeHeaders(const ByteSource& file) {
    uint8_t dos[64];
    if (file.size() < sizeof(dos)) {
        VK_THROW_MSG("it is no Windows program");
    }
    file.read(0, dos, sizeof(dos));
    const uint32_t peOffset = get32(dos + 0x3C);
    if (dos[0] != 'M' || dos[1] != 'Z' || peOffset > headersLimit || file.size() < uint64_t{peOffset} + 24) {
        VK_THROW_MSG("it is no Windows program");
    }
    uint8_t signature[24];
    file.read(peOffset, signature, sizeof(signature));
    if (signature[0] != 'P' || signature[1] != 'E' || signature[2] != 0 || signature[3] != 0) {
        VK_THROW_MSG("it is no Windows program");
    }
    const uint16_t sectionCount = get16(signature + 6);
    const uint16_t optionalSize = get16(signature + 20);
    optional_ = peOffset + 24;
    sections_ = optional_ + optionalSize;
    const uint64_t sectionsEnd = uint64_t{sections_} + uint64_t{40} * sectionCount;
    if (get16(signature + 4) != amd64 || optionalSize < 112 || sectionsEnd > headersLimit ||
        file.size() < sectionsEnd) {
        VK_THROW_MSG("it is no 64-bit Windows program");
    }
    bytes_ = file.bytes(0, static_cast<size_t>(sectionsEnd));
    if (get16(bytes_.data() + optional_) != pe32PlusMagic) {
        VK_THROW_MSG("it is no 64-bit Windows program");
    }
    symbolTable_ = get32(signature + 12);
    sectionAlignment_ = get32(bytes_.data() + optional_ + 32);
    fileAlignment_ = get32(bytes_.data() + optional_ + 36);
    const uint32_t sizeOfHeaders = get32(bytes_.data() + optional_ + 60);
    directoryCount_ = get32(bytes_.data() + optional_ + 108);
    if (!isPowerOfTwo(sectionAlignment_) || !isPowerOfTwo(fileAlignment_) ||
        fileAlignment_ > sectionAlignment_ || sizeOfHeaders < sectionsEnd || sizeOfHeaders > headersLimit ||
        sizeOfHeaders > file.size() || uint64_t{112} + uint64_t{8} * directoryCount_ > optionalSize) {
        VK_THROW_MSG("its headers are damaged");
    }
    // The writer copies every header byte up to the first section's data.
    bytes_ = file.bytes(0, sizeOfHeaders);

    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint8_t* header = bytes_.data() + sectionOffset(i);
        PeSection section;
        section.name.assign(reinterpret_cast<const char*>(header), 8);
        section.name.resize(section.name.find('\0') == std::string::npos ? 8 : section.name.find('\0'));
        section.virtualSize = get32(header + 8);
        section.virtualAddress = get32(header + 12);
        section.sizeOfRawData = get32(header + 16);
        section.pointerToRawData = get32(header + 20);
        section.characteristics = get32(header + 36);
        if (section.sizeOfRawData != 0 && section.rawEnd() > file.size()) {
            VK_THROW_MSG("its section " << section.name << " lies beyond the end of the file");
        }
        if (!sectionList_.empty() &&
            section.virtualAddress < uint64_t{sectionList_.back().virtualAddress} + sectionList_.back().virtualSize) {
            VK_THROW_MSG("its sections overlap");
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
    return PeDirectory{get32(entry), get32(entry + 4)};
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
        VK_THROW_MSG("an address lies in no section");
    }
    const PeSection& section = sectionList_[index];
    const uint32_t inside = rva - section.virtualAddress;
    if (size > section.rawSize() || inside > section.rawSize() - size) {
        VK_THROW_MSG("data in section " << section.name << " lies beyond its end");
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
