#include "ByteSource.h"

#include "ErrorHandling.h"

#include <algorithm>
#include <cstring>

std::vector<uint8_t> ByteSource::bytes(uint64_t offset, size_t size) const {
    std::vector<uint8_t> result(size);
    if (size != 0) {
        read(offset, result.data(), size);
    }
    return result;
}

namespace {

void readHeld(const std::vector<uint8_t>& bytes, uint64_t offset, void* buffer, size_t size) {
    if (offset > bytes.size() || size > bytes.size() - offset) {
        VK_THROW_MSG("Reading " << size << " bytes at " << offset << " goes beyond the " << bytes.size()
                                << " bytes there are");
    }
    if (size != 0) {
        std::memcpy(buffer, bytes.data() + offset, size);
    }
}

} // namespace

void MemoryBytes::read(uint64_t offset, void* buffer, size_t size) const { readHeld(bytes_, offset, buffer, size); }

void OwnedBytes::read(uint64_t offset, void* buffer, size_t size) const { readHeld(bytes_, offset, buffer, size); }

bool sameBytes(const ByteSource& a, const ByteSource& b) {
    if (a.size() != b.size()) {
        return false;
    }
    constexpr size_t piece = 1024 * 1024;
    std::vector<uint8_t> left(static_cast<size_t>(std::min<uint64_t>(piece, a.size())));
    std::vector<uint8_t> right(left.size());
    for (uint64_t at = 0; at < a.size(); at += piece) {
        const size_t part = static_cast<size_t>(std::min<uint64_t>(piece, a.size() - at));
        a.read(at, left.data(), part);
        b.read(at, right.data(), part);
        if (!std::equal(left.begin(), left.begin() + part, right.begin())) {
            return false;
        }
    }
    return true;
}
