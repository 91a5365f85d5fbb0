#pragma once

#include "CompoundFile.h"

#include <cstdint>
#include <functional>

// A compound file of version 3 (512-byte sectors, 64-byte mini sectors,
// streams under 4096 bytes in the mini stream), laid out from the streams'
// sizes alone and written in one pass, in order: the header, the FAT, the
// DIFAT, the directory, the mini FAT, the mini stream, then each larger
// stream. Each storage's children form a balanced red-black tree in the
// format's order; entries are numbered storage by storage, breadth first;
// times are zero. The same tree gives the same bytes on every host.
//
// A tree the format cannot hold throws a VkError<std::runtime_error> that
// says why: a name empty, longer than 31 code units or holding a zero unit,
// two siblings whose names compare equal (compareEntryNames), a stream of
// more than 2 GiB, a file of more sectors than the format numbers.

// The size in bytes of the file writeCompoundFile writes for `root` (the
// streams' sizes from their ByteSources).
uint64_t compoundFileSize(const CompoundStorage& root);

// Writes the compound file through `out`, from the first byte to the last;
// each stream's bytes are read from its ByteSource in pieces of at most 64
// KiB, so a large stream is never held in memory.
void writeCompoundFile(const CompoundStorage& root, const std::function<void(const uint8_t*, size_t)>& out);
