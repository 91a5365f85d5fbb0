#pragma once

#include "ByteSource.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A compound file as a tree: what the reader gives and the writer takes.
// Names are UTF-16 code units as the directory stores them, without the
// terminator; a stream's bytes are read piece by piece, never held whole.

using Clsid = std::array<uint8_t, 16>;

// What a directory entry holds beside its name, place and CLSID, as the
// reader found it: its state bits, then its creation and modification times
// (zeros for a stream). The writer writes zeros; a package's signature of
// the extended form covers them.
using EntryState = std::array<uint8_t, 20>;

struct CompoundStream {
    std::u16string name;
    // None is an empty stream.
    std::shared_ptr<const ByteSource> bytes;
    EntryState state{};
};

struct CompoundStorage {
    std::u16string name; // ignored for the root
    Clsid clsid{};
    std::vector<CompoundStream> streams;
    std::vector<CompoundStorage> storages;
    EntryState state{};
};

// Finds a direct child by its exact name; nullptr when there is none.
const CompoundStream* findStream(const CompoundStorage& storage, const std::u16string& name);
const CompoundStorage* findStorage(const CompoundStorage& storage, const std::u16string& name);

// The order of siblings in a directory, as the format sorts them: the
// shorter name first, then code unit by code unit, each upper-cased.
// Negative, zero or positive as `a` sorts before, with or after `b`; two
// names that compare equal cannot be siblings.
int compareEntryNames(const std::u16string& a, const std::u16string& b);
