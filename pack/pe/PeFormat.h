#pragma once

#include <cstddef>

// Where the fields of a PE32+ program's headers stand, for the reader
// (PeHeaders) and the writer (SetupWriter) alike.
namespace PeFormat {

// The MS-DOS header, at the file's start, and its pointer to the PE headers.
constexpr size_t dosHeaderSize = 64, peHeaderPointer = 0x3C;

// "PE\0\0" and the COFF file header after it, from the signature on.
namespace FileHeader {
constexpr size_t size = 24;
constexpr size_t machine = 4, sectionCount = 6, symbolTable = 12, optionalHeaderSize = 20;
} // namespace FileHeader

// The optional header, from its magic on; the data directories end it.
namespace OptionalHeader {
constexpr size_t magic = 0, sizeOfInitializedData = 8;
constexpr size_t sectionAlignment = 32, fileAlignment = 36;
constexpr size_t sizeOfImage = 56, sizeOfHeaders = 60, checksum = 64;
constexpr size_t directoryCount = 108, directories = 112;
} // namespace OptionalHeader

// A data directory: an address and a size.
namespace DataDirectory {
constexpr size_t entrySize = 8, address = 0, size = 4;
} // namespace DataDirectory

// A section header, after its 8-byte name.
namespace SectionHeader {
constexpr size_t size = 40;
constexpr size_t virtualSize = 8, virtualAddress = 12, sizeOfRawData = 16, pointerToRawData = 20;
constexpr size_t characteristics = 36;
} // namespace SectionHeader

} // namespace PeFormat
