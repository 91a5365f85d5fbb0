#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The cryptography of the Intune package, from each host's library (OpenSSL's
// libcrypto on Linux, CNG on Windows); callers never see which. Every failure
// throws an error for the user.

// Bytes from the system's cryptographic random source: for keys.
void randomBytes(uint8_t* bytes, size_t size);

// AES-256 in CBC mode with PKCS #7 padding, fed in pieces of any size.
class Aes256CbcEncryption {
public:
    Aes256CbcEncryption(const std::array<uint8_t, 32>& key, const std::array<uint8_t, 16>& iv);
    ~Aes256CbcEncryption();

    Aes256CbcEncryption(const Aes256CbcEncryption&) = delete;
    Aes256CbcEncryption& operator=(const Aes256CbcEncryption&) = delete;

    // The ciphertext of the blocks that `size` more bytes complete, in
    // `out` (replacing what it held).
    void update(const uint8_t* bytes, size_t size, std::vector<uint8_t>& out);
    // The last block, padded; the object takes no more bytes after it.
    void finish(std::vector<uint8_t>& out);

    struct State;

private:
    std::unique_ptr<State> state_;
};

// HMAC-SHA256, fed in pieces.
class HmacSha256 {
public:
    HmacSha256(const uint8_t* key, size_t size);
    ~HmacSha256();

    HmacSha256(const HmacSha256&) = delete;
    HmacSha256& operator=(const HmacSha256&) = delete;

    void add(const uint8_t* bytes, size_t size);
    std::array<uint8_t, 32> finish();

    struct State;

private:
    std::unique_ptr<State> state_;
};
