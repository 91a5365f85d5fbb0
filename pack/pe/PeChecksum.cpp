#include "PeChecksum.h"

#include <algorithm>

namespace {

// 16-bit words summed in 32 bits a block at a time: a block this long cannot
// overflow, and the compiler sums many words of it at once.
constexpr size_t blockWords = 65536;

} // namespace

void PeChecksum::add(uint64_t fileOffset, const uint8_t* data, size_t size) {
    if (size != 0 && fileOffset % 2 != 0) {
        sum_ += uint64_t{data[0]} << 8;
        ++data;
        --size;
    }
    while (size >= 2) {
        const size_t words = std::min(size / 2, blockWords);
        uint32_t block = 0;
        for (size_t i = 0; i < words; ++i) {
            block += uint32_t{data[2 * i]} | uint32_t{data[2 * i + 1]} << 8;
        }
        sum_ += block;
        data += 2 * words;
        size -= 2 * words;
    }
    if (size == 1) {
        sum_ += data[0];
    }
}

uint32_t PeChecksum::finish(uint64_t fileSize) const {
    uint64_t folded = sum_;
    while (folded > 0xFFFF) {
        folded = (folded & 0xFFFF) + (folded >> 16);
    }
    return static_cast<uint32_t>(folded + fileSize);
}
