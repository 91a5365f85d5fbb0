#include "PeChecksum.h"

void PeChecksum::add(uint64_t fileOffset, const uint8_t* data, size_t size) {
    if (size != 0 && fileOffset % 2 != 0) {
        sum_ += uint64_t{data[0]} << 8;
        ++data;
        --size;
    }
    size_t i = 0;
    uint64_t sum = 0;
    for (; i + 4 <= size; i += 4) {
        sum += uint32_t{data[i]} | uint32_t{data[i + 1]} << 8 | uint32_t{data[i + 2]} << 16 |
               uint32_t{data[i + 3]} << 24;
    }
    for (; i < size; ++i) {
        sum += uint64_t{data[i]} << (8 * (i % 2));
    }
    sum_ += sum;
}

uint32_t PeChecksum::finish(uint64_t fileSize) const {
    uint64_t folded = sum_;
    while (folded > 0xFFFF) {
        folded = (folded & 0xFFFF) + (folded >> 16);
    }
    return static_cast<uint32_t>(folded + fileSize);
}
