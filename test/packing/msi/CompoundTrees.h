#pragma once

#include "CompoundFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Trees of storages and streams for the compound-file tests, and what to do
// with them: write them into memory, and compare two of them.

// `size` bytes made from `seed` as they are read: a large stream that
// costs no memory.
class GeneratedBytes : public ByteSource {
public:
    GeneratedBytes(uint64_t size, uint32_t seed) : size_(size), seed_(seed) {}

    uint64_t size() const override { return size_; }
    void read(uint64_t offset, void* buffer, size_t size) const override;

private:
    uint64_t size_;
    uint32_t seed_;
};

CompoundStream generatedStream(const std::u16string& name, uint64_t size, uint32_t seed);
CompoundStorage storageNamed(const std::u16string& name, uint8_t clsidByte = 0);

std::vector<uint8_t> writtenBytes(const CompoundStorage& root);

// The differences between two trees (names, CLSIDs, streams' sizes and
// bytes), children matched by name whatever their order; empty when they
// are the same.
std::string treeDifferences(const CompoundStorage& expected, const CompoundStorage& actual);

// A tree of every kind of part: streams around the mini stream's cutoff,
// empty ones, nested storages with CLSIDs, names of Windows Installer's
// encoding; its written bytes are the same on every host.
CompoundStorage knownTree();
