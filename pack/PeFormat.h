#pragma once

#include <cstddef>

// Where the fields of a PE32+ program's headers stand, for the reader
// (PeHeaders) and the writer (SetupLayout) alike.
namespace PeFormat {

// The MS-DOS header, at the file's start.
constexpr size_t dosHeaderSize = 64;
constexpr size_t peHeaderPointer = 0x3C;

// "PE\0\0" and the COFF file header after it, from the signature on.
namespace FileHeader {
constexpr size_t size = 24;
constexpr size_t machine = 4;
constexpr size_t sectionCount = 6;
constexpr size_t symbolTable = 12;
constexpr size_t optionalHeaderSize = 20;
} // namespace FileHeader

// The optional header, from its magic on.
namespace OptionalHeader {
constexpr size_t magic = 0;
constexpr size_t sizeOfInitializedData = 8;
constexpr size_t sectionAlignment = 32;
constexpr size_t fileAlignment = 36;
constexpr size_t sizeOfImage = 56;
constexpr size_t sizeOfHeaders = 60;
constexpr size_t checksum = 64;
constexpr size_t directoryCount = 108;
// The data directories end the header.
constexpr size_t directories = 112;
} // namespace OptionalHeader

// A data directory: an address and a size.
namespace DataDirectory {
constexpr size_t entrySize = 8;
constexpr size_t address = 0;
constexpr size_t size = 4;
} // namespace DataDirectory

// A section header.
namespace SectionHeader {
constexpr size_t size = 40;
constexpr size_t virtualSize = 8;
constexpr size_t virtualAddress = 12;
constexpr size_t sizeOfRawData = 16;
constexpr size_t pointerToRawData = 20;
constexpr size_t characteristics = 36;
} // namespace SectionHeader

} // namespace PeFormat
