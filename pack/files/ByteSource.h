#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// Bytes that can be read at any position: a file, or bytes in memory. A read
// that the source cannot serve whole throws.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    virtual uint64_t size() const = 0;
    virtual void read(uint64_t offset, void* buffer, size_t size) const = 0;

    std::vector<uint8_t> bytes(uint64_t offset, size_t size) const;
};

// Bytes held by the caller, who keeps them alive.
class MemoryBytes : public ByteSource {
public:
    explicit MemoryBytes(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    uint64_t size() const override { return bytes_.size(); }
    void read(uint64_t offset, void* buffer, size_t size) const override;

private:
    const std::vector<uint8_t>& bytes_;
};

// Bytes that the source holds itself: for what is made in memory and handed
// on, such as a small stream written into a package.
class OwnedBytes : public ByteSource {
public:
    explicit OwnedBytes(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    uint64_t size() const override { return bytes_.size(); }
    void read(uint64_t offset, void* buffer, size_t size) const override;
    const std::vector<uint8_t>& data() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Whether two sources hold the same bytes: compared piece by piece, none read
// where the sizes differ.
bool sameBytes(const ByteSource& a, const ByteSource& b);

// Little-endian fields of a file format.
namespace LittleEndian {

inline uint16_t get16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

inline uint32_t get32(const uint8_t* at) {
    return static_cast<uint32_t>(get16(at)) | static_cast<uint32_t>(get16(at + 2)) << 16;
}

inline void put16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

inline void put32(uint8_t* at, uint32_t value) {
    put16(at, static_cast<uint16_t>(value));
    put16(at + 2, static_cast<uint16_t>(value >> 16));
}

} // namespace LittleEndian
