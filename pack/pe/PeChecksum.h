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
    // The words' plain sum: folding every carry back in at the end gives
    // what folding them in as they come would.
    uint64_t sum_ = 0;
};
