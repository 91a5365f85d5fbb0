#include "Crypto.h"
#include "Sha256.h"

#include "ErrorHandling.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>

namespace {

// OpenSSL's own reason for the failure it queued last.
[[noreturn]] void fail(const char* what) {
    char reason[256] = "no reason given";
    if (const unsigned long code = ERR_get_error()) {
        ERR_error_string_n(code, reason, sizeof(reason));
    }
    ERR_clear_error();
    VK_THROW_MSG("OpenSSL cannot " << what << ": " << reason);
}

template <class T, void (*Free)(T*)>
struct Freed {
    void operator()(T* object) const { Free(object); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, Freed<EVP_MD_CTX, EVP_MD_CTX_free>>;
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, Freed<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>>;
using Mac = std::unique_ptr<EVP_MAC, Freed<EVP_MAC, EVP_MAC_free>>;
using MacContext = std::unique_ptr<EVP_MAC_CTX, Freed<EVP_MAC_CTX, EVP_MAC_CTX_free>>;
using Number = std::unique_ptr<BIGNUM, Freed<BIGNUM, BN_free>>;
using ParamBuilder = std::unique_ptr<OSSL_PARAM_BLD, Freed<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>>;
using Params = std::unique_ptr<OSSL_PARAM, Freed<OSSL_PARAM, OSSL_PARAM_free>>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, Freed<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using Key = std::unique_ptr<EVP_PKEY, Freed<EVP_PKEY, EVP_PKEY_free>>;

// OpenSSL counts in int.
constexpr size_t largestPiece = INT_MAX / 2;

} // namespace

void randomBytes(uint8_t* bytes, size_t size) {
    while (size > 0) {
        const size_t piece = std::min(size, largestPiece);
        if (RAND_bytes(bytes, static_cast<int>(piece)) != 1) {
            fail("draw random bytes");
        }
        bytes += piece;
        size -= piece;
    }
}

struct Aes256CbcEncryption::State {
    CipherContext context{EVP_CIPHER_CTX_new()};
};

Aes256CbcEncryption::Aes256CbcEncryption(const std::array<uint8_t, 32>& key, const std::array<uint8_t, 16>& iv)
    : state_(std::make_unique<State>()) {
    if (!state_->context ||
        EVP_EncryptInit_ex(state_->context.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv.data()) != 1) {
        fail("start AES-256-CBC");
    }
}

Aes256CbcEncryption::~Aes256CbcEncryption() = default;

void Aes256CbcEncryption::update(const uint8_t* bytes, size_t size, std::vector<uint8_t>& out) {
    out.resize(size + 16);
    size_t written = 0;
    while (size > 0) {
        const size_t piece = std::min(size, largestPiece);
        int produced = 0;
        if (EVP_EncryptUpdate(state_->context.get(), out.data() + written, &produced, bytes,
                              static_cast<int>(piece)) != 1) {
            fail("encrypt");
        }
        written += static_cast<size_t>(produced);
        bytes += piece;
        size -= piece;
    }
    out.resize(written);
}

void Aes256CbcEncryption::finish(std::vector<uint8_t>& out) {
    out.resize(16);
    int produced = 0;
    if (EVP_EncryptFinal_ex(state_->context.get(), out.data(), &produced) != 1) {
        fail("finish the encryption");
    }
    out.resize(static_cast<size_t>(produced));
}

struct HmacSha256::State {
    Mac mac{EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_HMAC, nullptr)};
    MacContext context;
};

HmacSha256::HmacSha256(const uint8_t* key, size_t size) : state_(std::make_unique<State>()) {
    if (!state_->mac) {
        fail("find HMAC");
    }
    state_->context.reset(EVP_MAC_CTX_new(state_->mac.get()));
    char digest[] = "SHA256";
    const OSSL_PARAM parameters[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                     OSSL_PARAM_construct_end()};
    if (!state_->context || EVP_MAC_init(state_->context.get(), key, size, parameters) != 1) {
        fail("start HMAC-SHA256");
    }
}

HmacSha256::~HmacSha256() = default;

void HmacSha256::add(const uint8_t* bytes, size_t size) {
    if (EVP_MAC_update(state_->context.get(), bytes, size) != 1) {
        fail("compute HMAC-SHA256");
    }
}

std::array<uint8_t, 32> HmacSha256::finish() {
    std::array<uint8_t, 32> mac{};
    size_t size = 0;
    if (EVP_MAC_final(state_->context.get(), mac.data(), &size, mac.size()) != 1 || size != mac.size()) {
        fail("finish HMAC-SHA256");
    }
    return mac;
}

struct Sha256::State {
    DigestContext context{EVP_MD_CTX_new()};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (!state_->context || EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) != 1) {
        fail("start SHA-256");
    }
}

Sha256::~Sha256() = default;

void Sha256::add(const uint8_t* bytes, size_t size) {
    if (EVP_DigestUpdate(state_->context.get(), bytes, size) != 1) {
        fail("compute SHA-256");
    }
}

std::array<uint8_t, 32> Sha256::finish() {
    std::array<uint8_t, 32> digest{};
    unsigned size = 0;
    if (EVP_DigestFinal_ex(state_->context.get(), digest.data(), &size) != 1 || size != digest.size()) {
        fail("finish SHA-256");
    }
    return digest;
}

bool rsaSha256SignatureVerifies(const std::vector<uint8_t>& modulus, const std::vector<uint8_t>& exponent,
                                const uint8_t* message, size_t size, const std::vector<uint8_t>& signature) {
    const Number n(BN_bin2bn(modulus.data(), static_cast<int>(modulus.size()), nullptr));
    const Number e(BN_bin2bn(exponent.data(), static_cast<int>(exponent.size()), nullptr));
    const ParamBuilder builder(OSSL_PARAM_BLD_new());
    if (!n || !e || !builder || OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
        OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1) {
        fail("hold an RSA key");
    }
    const Params parameters(OSSL_PARAM_BLD_to_param(builder.get()));
    const KeyContext keyContext(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* rawKey = nullptr;
    if (!parameters || !keyContext || EVP_PKEY_fromdata_init(keyContext.get()) != 1 ||
        EVP_PKEY_fromdata(keyContext.get(), &rawKey, EVP_PKEY_PUBLIC_KEY, parameters.get()) != 1) {
        fail("take an RSA key");
    }
    const Key key(rawKey);
    const DigestContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) {
        fail("start verifying an RSA signature");
    }
    const bool verifies = EVP_DigestVerify(context.get(), signature.data(), signature.size(), message, size) == 1;
    // A signature that does not verify leaves OpenSSL's reason queued.
    ERR_clear_error();
    return verifies;
}
