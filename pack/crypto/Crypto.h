#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The cryptography of the Intune package and of signatures, from each host's
// library (OpenSSL's libcrypto on Linux, CNG on Windows); callers never see
// which. Every failure throws an error for the user.

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

// Whether `signature` is the RSA signature (PKCS #1 v1.5) of the SHA-256
// digest of `size` bytes at `message` by the public key of `modulus` and
// `exponent` (unsigned, big-endian, without leading zeros; the caller keeps
// them within what both hosts' libraries take, and `signature` as long as
// the modulus). A signature that does not verify is false, whatever the
// library's reason, so that both hosts give the same answer.
bool rsaSha256SignatureVerifies(const std::vector<uint8_t>& modulus, const std::vector<uint8_t>& exponent,
                                const uint8_t* message, size_t size, const std::vector<uint8_t>& signature);
