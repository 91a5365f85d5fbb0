#pragma once

#include "CompoundFile.h"

#include <cstdint>
#include <memory>

// A compound file read in place: its structure checked first, as
// checkCompoundFile checks it, then its tree with each stream readable
// piece by piece through its chain, regular or mini.
class CompoundFileReader {
public:
    // Checks `size` bytes of `file` from `offset` on (a DamagedFileError on
    // damage, its reason completing "... is not a Windows Installer package:
    // "), then keeps the tables that reading the streams needs: the FAT, the
    // mini FAT and the mini stream's sectors. `file` must outlive the reader
    // and the streams it hands out.
    CompoundFileReader(const ByteSource& file, uint64_t offset, uint64_t size);
    ~CompoundFileReader();

    CompoundFileReader(const CompoundFileReader&) = delete;
    CompoundFileReader& operator=(const CompoundFileReader&) = delete;

    // The whole tree, the root's CLSID included, children in the order of
    // the directory's sibling trees. A stream's `bytes` reads it at any
    // position, within its size; reading on from where the last read ended
    // costs no walk from the chain's start (so one stream is not read from
    // two threads at once).
    const CompoundStorage& root() const { return root_; }

    struct Tables;

private:
    std::shared_ptr<Tables> tables_;
    CompoundStorage root_;
};
