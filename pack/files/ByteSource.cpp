#include "ByteSource.h"

#include "ErrorHandling.h"

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
