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

void MemoryBytes::read(uint64_t offset, void* buffer, size_t size) const {
    if (offset > bytes_.size() || size > bytes_.size() - offset) {
        VK_THROW_MSG("Reading " << size << " bytes at " << offset << " goes beyond the " << bytes_.size()
                                << " bytes there are");
    }
    if (size != 0) {
        std::memcpy(buffer, bytes_.data() + offset, size);
    }
}
