#include "Crypto.h"
#include "Sha256.h"

#include "ErrorHandling.h"
#include "UniqueHandles.h"
#include "WindowsApi.h"

#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct AlgorithmTraits {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle none() { return nullptr; }
    static bool isValid(Handle handle) { return handle != nullptr; }
    static void close(Handle handle) { ::BCryptCloseAlgorithmProvider(handle, 0); }
};

struct KeyTraits {
    using Handle = BCRYPT_KEY_HANDLE;
    static Handle none() { return nullptr; }
    static bool isValid(Handle handle) { return handle != nullptr; }
    static void close(Handle handle) { ::BCryptDestroyKey(handle); }
};

struct HashTraits {
    using Handle = BCRYPT_HASH_HANDLE;
    static Handle none() { return nullptr; }
    static bool isValid(Handle handle) { return handle != nullptr; }
    static void close(Handle handle) { ::BCryptDestroyHash(handle); }
};

using UniqueAlgorithm = UniqueAny<AlgorithmTraits>;

void check(NTSTATUS status, const char* what) {
    if (!BCRYPT_SUCCESS(status)) {
        char code[16];
        std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(status));
        VK_THROW_MSG("CNG cannot " << what << ": status " << code);
    }
}

PUCHAR bytesOf(const void* bytes) { return static_cast<PUCHAR>(const_cast<void*>(bytes)); }

// CNG counts in ULONG.
constexpr size_t largestPiece = 1u << 30;

} // namespace

void randomBytes(uint8_t* bytes, size_t size) {
    while (size > 0) {
        const size_t piece = std::min(size, largestPiece);
        check(::BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(piece), BCRYPT_USE_SYSTEM_PREFERRED_RNG),
              "draw random bytes");
        bytes += piece;
        size -= piece;
    }
}

struct Aes256CbcEncryption::State {
    UniqueAlgorithm algorithm;
    UniqueAny<KeyTraits> key;
    // CBC's chain from call to call: the last ciphertext block. Windows
    // leaves it in the IV buffer it was given; Wine does not, so it is
    // taken from the ciphertext.
    std::array<uint8_t, 16> iv{};
    // The bytes of a block not yet whole; only the last call pads.
    std::array<uint8_t, 16> pending{};
    size_t pendingSize = 0;
};

Aes256CbcEncryption::Aes256CbcEncryption(const std::array<uint8_t, 32>& key, const std::array<uint8_t, 16>& iv)
    : state_(std::make_unique<State>()) {
    check(::BCryptOpenAlgorithmProvider(state_->algorithm.put(), BCRYPT_AES_ALGORITHM, nullptr, 0), "open AES");
    check(::BCryptSetProperty(state_->algorithm.get(), BCRYPT_CHAINING_MODE, bytesOf(BCRYPT_CHAIN_MODE_CBC),
                              sizeof(BCRYPT_CHAIN_MODE_CBC), 0),
          "choose CBC");
    check(::BCryptGenerateSymmetricKey(state_->algorithm.get(), state_->key.put(), nullptr, 0, bytesOf(key.data()),
                                       static_cast<ULONG>(key.size()), 0),
          "make an AES key");
    state_->iv = iv;
}

Aes256CbcEncryption::~Aes256CbcEncryption() = default;

void Aes256CbcEncryption::update(const uint8_t* bytes, size_t size, std::vector<uint8_t>& out) {
    State& state = *state_;
    const size_t whole = (state.pendingSize + size) / 16 * 16;
    if (whole == 0) {
        std::memcpy(state.pending.data() + state.pendingSize, bytes, size);
        state.pendingSize += size;
        out.clear();
        return;
    }
    out.resize(whole);
    std::memcpy(out.data(), state.pending.data(), state.pendingSize);
    const size_t taken = whole - state.pendingSize;
    std::memcpy(out.data() + state.pendingSize, bytes, taken);
    state.pendingSize = size - taken;
    std::memcpy(state.pending.data(), bytes + taken, state.pendingSize);
    for (size_t at = 0; at < whole; at += largestPiece) {
        const auto piece = static_cast<ULONG>(std::min(whole - at, largestPiece));
        ULONG written = 0;
        check(::BCryptEncrypt(state.key.get(), out.data() + at, piece, nullptr, state.iv.data(),
                              static_cast<ULONG>(state.iv.size()), out.data() + at, piece, &written, 0),
              "encrypt");
        std::memcpy(state.iv.data(), out.data() + at + piece - state.iv.size(), state.iv.size());
    }
}

void Aes256CbcEncryption::finish(std::vector<uint8_t>& out) {
    State& state = *state_;
    out.resize(16);
    ULONG written = 0;
    check(::BCryptEncrypt(state.key.get(), state.pending.data(), static_cast<ULONG>(state.pendingSize), nullptr,
                          state.iv.data(), static_cast<ULONG>(state.iv.size()), out.data(),
                          static_cast<ULONG>(out.size()), &written, BCRYPT_BLOCK_PADDING),
          "finish the encryption");
    out.resize(written);
}

struct HmacSha256::State {
    UniqueAlgorithm algorithm;
    UniqueAny<HashTraits> hash;
};

HmacSha256::HmacSha256(const uint8_t* key, size_t size) : state_(std::make_unique<State>()) {
    check(::BCryptOpenAlgorithmProvider(state_->algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr,
                                        BCRYPT_ALG_HANDLE_HMAC_FLAG),
          "open HMAC-SHA256");
    check(::BCryptCreateHash(state_->algorithm.get(), state_->hash.put(), nullptr, 0, bytesOf(key),
                             static_cast<ULONG>(size), 0),
          "start HMAC-SHA256");
}

HmacSha256::~HmacSha256() = default;

void HmacSha256::add(const uint8_t* bytes, size_t size) {
    while (size > 0) {
        const size_t piece = std::min(size, largestPiece);
        check(::BCryptHashData(state_->hash.get(), bytesOf(bytes), static_cast<ULONG>(piece), 0),
              "compute HMAC-SHA256");
        bytes += piece;
        size -= piece;
    }
}

std::array<uint8_t, 32> HmacSha256::finish() {
    std::array<uint8_t, 32> mac{};
    check(::BCryptFinishHash(state_->hash.get(), mac.data(), static_cast<ULONG>(mac.size()), 0),
          "finish HMAC-SHA256");
    return mac;
}

struct Sha256::State {
    UniqueAlgorithm algorithm;
    UniqueAny<HashTraits> hash;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    check(::BCryptOpenAlgorithmProvider(state_->algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0),
          "open SHA-256");
    check(::BCryptCreateHash(state_->algorithm.get(), state_->hash.put(), nullptr, 0, nullptr, 0, 0),
          "start SHA-256");
}

Sha256::~Sha256() = default;

void Sha256::add(const uint8_t* bytes, size_t size) {
    while (size > 0) {
        const size_t piece = std::min(size, largestPiece);
        check(::BCryptHashData(state_->hash.get(), bytesOf(bytes), static_cast<ULONG>(piece), 0), "compute SHA-256");
        bytes += piece;
        size -= piece;
    }
}

std::array<uint8_t, 32> Sha256::finish() {
    std::array<uint8_t, 32> digest{};
    check(::BCryptFinishHash(state_->hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0),
          "finish SHA-256");
    return digest;
}

bool rsaSha256SignatureVerifies(const std::vector<uint8_t>& modulus, const std::vector<uint8_t>& exponent,
                                const uint8_t* message, size_t size, const std::vector<uint8_t>& signature) {
    Sha256 sum;
    sum.add(message, size);
    std::array<uint8_t, 32> digest = sum.finish();

    ULONG bits = static_cast<ULONG>(modulus.size() * 8);
    for (uint8_t top = modulus.empty() ? 0xFF : modulus[0]; (top & 0x80) == 0; top = static_cast<uint8_t>(top << 1)) {
        --bits;
    }
    // CNG's public key: the header, then the exponent and the modulus,
    // big-endian.
    std::vector<uint8_t> blob(sizeof(BCRYPT_RSAKEY_BLOB));
    BCRYPT_RSAKEY_BLOB header{};
    header.Magic = BCRYPT_RSAPUBLIC_MAGIC;
    header.BitLength = bits;
    header.cbPublicExp = static_cast<ULONG>(exponent.size());
    header.cbModulus = static_cast<ULONG>(modulus.size());
    std::memcpy(blob.data(), &header, sizeof(header));
    blob.insert(blob.end(), exponent.begin(), exponent.end());
    blob.insert(blob.end(), modulus.begin(), modulus.end());

    UniqueAlgorithm algorithm;
    check(::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_RSA_ALGORITHM, nullptr, 0), "open RSA");
    UniqueAny<KeyTraits> key;
    check(::BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_RSAPUBLIC_BLOB, key.put(), blob.data(),
                                static_cast<ULONG>(blob.size()), 0),
          "take an RSA key");
    BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
    return BCRYPT_SUCCESS(::BCryptVerifySignature(key.get(), &padding, digest.data(),
                                                  static_cast<ULONG>(digest.size()), bytesOf(signature.data()),
                                                  static_cast<ULONG>(signature.size()), BCRYPT_PAD_PKCS1));
}
