#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 (FIPS 180-4), fed in pieces of any size: what winget records of an
// installer, computed while the file streams past, and the digest that an
// Authenticode signature holds of its file.
class Sha256 {
public:
    Sha256();

    void add(const uint8_t* bytes, size_t size);
    // Ends the sum; the object takes no more bytes after it.
    std::array<uint8_t, 32> finish();

    // The sum as 64 upper-case hex digits.
    static std::string hex(const std::array<uint8_t, 32>& digest);

private:
    void compress(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> block_{};
    size_t used_ = 0;
    uint64_t length_ = 0;
};
