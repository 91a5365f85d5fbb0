#pragma once

#include <cstddef>
#include <cstdint>

// The CheckSum of a program's optional header: the sum of the file's 16-bit
// little-endian words with every carry folded back in, the CheckSum field
// itself counted as zero, plus the file's length. The parts of the file can
// be added in any order, each with its offset in the file.
class PeChecksum {
public:
    void add(uint64_t fileOffset, const uint8_t* data, size_t size);
    void add(const PeChecksum& other) { sum_ += other.sum_; }
    uint32_t finish(uint64_t fileSize) const;

private:
    // A 64-bit sum of 32-bit words: a word at an even offset counts as much
    // as its two 16-bit halves once the carries are folded in.
    uint64_t sum_ = 0;
};
