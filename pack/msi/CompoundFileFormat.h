#pragma once

#include <cstddef>
#include <cstdint>

// The fields and limits of a compound file, shared by its reader and writer.
namespace CompoundFileFormat {

constexpr uint8_t signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t headerSize = 512;
constexpr size_t headerDifatEntries = 109;

// Sector numbers and what the FAT says of a sector.
constexpr uint32_t lastRegularSector = 0xFFFFFFFA;
constexpr uint32_t difatSector = 0xFFFFFFFC;
constexpr uint32_t fatSector = 0xFFFFFFFD;
constexpr uint32_t endOfChain = 0xFFFFFFFE;
constexpr uint32_t freeSector = 0xFFFFFFFF;
constexpr uint32_t noStream = 0xFFFFFFFF;

constexpr uint32_t miniSectorSize = 64;
constexpr uint32_t miniStreamCutoff = 4096;

// Header fields.
constexpr size_t minorVersionField = 24;
constexpr size_t majorVersionField = 26;
constexpr size_t byteOrderField = 28;
constexpr size_t sectorShiftField = 30;
constexpr size_t miniSectorShiftField = 32;
constexpr size_t fatCountField = 44;
constexpr size_t directoryStartField = 48;
constexpr size_t miniStreamCutoffField = 56;
constexpr size_t miniFatStartField = 60;
constexpr size_t miniFatCountField = 64;
constexpr size_t difatStartField = 68;
constexpr size_t difatCountField = 72;
constexpr size_t headerDifatField = 76;

// A directory entry's fields.
constexpr size_t entrySize = 128;
constexpr size_t nameLengthField = 64;
constexpr size_t typeField = 66;
constexpr size_t colourField = 67;
constexpr size_t leftField = 68;
constexpr size_t rightField = 72;
constexpr size_t childField = 76;
constexpr size_t clsidField = 80;
constexpr size_t stateField = 96;
constexpr size_t startField = 116;
constexpr size_t sizeField = 120;
// A name's bytes, its terminator included.
constexpr size_t maxNameBytes = 64;

// Not the format's limit but ours, for the reader and the writer alike:
// storages nested deeper than any writer nests them are damage (the tree's
// own destruction recurses that deep).
constexpr size_t deepestStorage = 256;

enum EntryType : uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5 };
enum Colour : uint8_t { Red = 0, Black = 1 };

} // namespace CompoundFileFormat
