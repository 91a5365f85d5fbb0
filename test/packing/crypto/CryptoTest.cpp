// Built into both hosts' tests: the same vectors hold OpenSSL's libcrypto
// and Windows' CNG to the same answers.
#include "Crypto.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> fromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

template <size_t N>
std::array<uint8_t, N> arrayOf(const std::string& hex) {
    std::array<uint8_t, N> bytes{};
    const std::vector<uint8_t> parsed = fromHex(hex);
    std::copy(parsed.begin(), parsed.end(), bytes.begin());
    return bytes;
}

// NIST SP 800-38A F.2.5's key, IV and plaintext.
const auto nistKey = arrayOf<32>("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
const auto nistIv = arrayOf<16>("000102030405060708090a0b0c0d0e0f");
const std::string nistPlain = "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                              "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";

std::vector<uint8_t> encrypted(const std::vector<uint8_t>& plain, size_t piece) {
    Aes256CbcEncryption aes(nistKey, nistIv);
    std::vector<uint8_t> cipher;
    std::vector<uint8_t> out;
    for (size_t at = 0; at < plain.size(); at += piece) {
        aes.update(plain.data() + at, std::min(piece, plain.size() - at), out);
        cipher.insert(cipher.end(), out.begin(), out.end());
    }
    aes.finish(out);
    cipher.insert(cipher.end(), out.begin(), out.end());
    return cipher;
}

// NIST's ciphertext, then the block of PKCS #7 padding (as `openssl enc
// -aes-256-cbc` gives it), whatever pieces the plaintext comes in: the chain
// holds across calls.
TEST(CryptoTest, Aes256CbcAgainstNistAndOpenSslEnc) {
    const std::vector<uint8_t> expected = fromHex(
        "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
        "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"
        "3f461796d6b0d6b2e0c2a72b4d80e644");
    for (const size_t piece : {size_t(64), size_t(1), size_t(15), size_t(17), size_t(33)}) {
        EXPECT_EQ(expected, encrypted(fromHex(nistPlain), piece)) << "pieces of " << piece;
    }
    const std::string hello = "hello";
    EXPECT_EQ(fromHex("11567e234fd4575f682ce39def007307"),
              encrypted(std::vector<uint8_t>(hello.begin(), hello.end()), 2))
        << "a short last block, padded";
}

// RFC 4231's test cases 2 (a short key) and 6 (a key longer than a block).
TEST(CryptoTest, HmacSha256AgainstRfc4231) {
    const auto mac = [](const std::vector<uint8_t>& key, const std::string& data, size_t piece) {
        HmacSha256 hmac(key.data(), key.size());
        for (size_t at = 0; at < data.size(); at += piece) {
            hmac.add(reinterpret_cast<const uint8_t*>(data.data()) + at, std::min(piece, data.size() - at));
        }
        const std::array<uint8_t, 32> result = hmac.finish();
        return std::vector<uint8_t>(result.begin(), result.end());
    };
    const std::string jefe = "Jefe";
    EXPECT_EQ(fromHex("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"),
              mac(std::vector<uint8_t>(jefe.begin(), jefe.end()), "what do ya want for nothing?", 5));
    EXPECT_EQ(fromHex("60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"),
              mac(std::vector<uint8_t>(131, 0xaa), "Test Using Larger Than Block-Size Key - Hash Key First", 100));
}

TEST(CryptoTest, RandomKeysDiffer) {
    std::array<uint8_t, 32> first{};
    std::array<uint8_t, 32> second{};
    randomBytes(first.data(), first.size());
    randomBytes(second.data(), second.size());
    EXPECT_NE(first, second);
    EXPECT_NE((std::array<uint8_t, 32>{}), first);
}

} // namespace
