#pragma once

#include "ByteSource.h"

#include <cstdint>

// The structure of a compound file, the container of every Windows Installer
// package, checked before a host's reader sees it: the header's fields and
// sector size, every sector wholly inside the file, the chains of the FAT,
// the DIFAT (as far as its header counts) and the mini FAT walked with a
// bound (no loop, no sector in two chains or outside the file, counts that
// fit the file), the directory tree (no entry reached twice, names of a
// length the format allows) and every stream's size against its chain. Time
// and memory grow with the file's size alone, and damage is named the same
// on every host. Throws a DamagedFileError whose reason completes "... is
// not a Windows Installer package: " ("its FAT chain loops at sector 7").
// The first step of CompoundFileReader, which reads what this checks.
void checkCompoundFile(const ByteSource& file, uint64_t offset, uint64_t size);
