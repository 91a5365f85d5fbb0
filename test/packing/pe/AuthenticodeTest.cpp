// A certificate table is a signature only in the form Windows reads, with
// the file's own digest and a signer whose signature verifies: zeros, a
// table cut short or followed by data, an entry of another kind, a file
// changed after signing and bytes flipped in the certificate, the signature
// value, the digest algorithms or the attributes are none, each with its
// reason; no bytes in the table make the reader fail otherwise.
#include "Authenticode.h"
#include "ByteSource.h"
#include "ErrorHandling.h"
#include "PeHeaders.h"
#include "TestFiles.h"
#include "TestRsa.h"
#include "TestSignature.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

namespace {

using LittleEndian::put32;

AuthenticodeSignature signatureOf(const std::vector<uint8_t>& program) {
    const MemoryBytes bytes(program);
    return readAuthenticodeSignature(bytes, PeHeaders(bytes));
}

// Where `pattern` lies in `bytes`, the last time when `last`.
size_t find(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& pattern, bool last = false) {
    const auto at = last ? std::find_end(bytes.begin(), bytes.end(), pattern.begin(), pattern.end())
                         : std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end());
    EXPECT_NE(bytes.end(), at);
    return static_cast<size_t>(at - bytes.begin());
}

const std::vector<uint8_t> sha256Oid{0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
const std::vector<uint8_t> contentTypeOid{0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03};
const std::vector<uint8_t> messageDigestOid{0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};
// The signature value: an OCTET STRING as long as the test key's modulus.
const std::vector<uint8_t> signatureValueHeader{0x04, 0x81, 0x80};

struct Spoiling {
    const char* what;
    std::function<void(std::vector<uint8_t>&, const PeHeaders&)> spoil;
    const char* problem;
};

TEST(AuthenticodeTest, OnlyAWellFormedSignatureOfTheFileIsOne) {
    const std::vector<uint8_t> stub = readBytes(stubPath());
    EXPECT_FALSE(signatureOf(stub).present);
    const std::vector<uint8_t> signedStub = withTestSignature(stub);
    const AuthenticodeSignature good = signatureOf(signedStub);
    EXPECT_TRUE(good.valid()) << good.problem;

    const PeHeaders headers{MemoryBytes(signedStub)};
    const size_t directory = headers.directoryOffset(PeHeaders::Certificates);
    const uint32_t table = headers.directory(PeHeaders::Certificates).rva;
    const std::vector<Spoiling> cases{
        {"4096 zero bytes as the table",
         [&](std::vector<uint8_t>& bytes, const PeHeaders&) {
             bytes.resize(table);
             bytes.resize(table + 4096, 0);
             put32(&bytes[directory + 4], 4096);
         },
         "its certificate table holds an entry of 0 bytes in 4096"},
        {"cut short by 100 bytes",
         [](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes.erase(bytes.end() - 100, bytes.end()); },
         "its certificate table runs past the end of the file (the file is cut short)"},
        {"junk after the table",
         [](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes.resize(bytes.size() + 16, 7); },
         "data follows its certificate table"},
        {"a byte of the program changed",
         [](std::vector<uint8_t>& bytes, const PeHeaders& h) { bytes[h.sections().front().pointerToRawData] ^= 1; },
         "its signature's digest is not the file's: the file was changed after it was signed"},
        {"the CheckSum changed",
         [](std::vector<uint8_t>& bytes, const PeHeaders& h) { bytes[h.checksumOffset()] ^= 1; },
         nullptr},
        {"another revision", [&](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes[table + 5] = 0x01; },
         "its certificate table holds an entry that is no WIN_CERTIFICATE of revision 2.0 and type PKCS_SIGNED_DATA"},
        {"junk in the entry",
         [&](std::vector<uint8_t>& bytes, const PeHeaders&) {
             bytes.insert(bytes.end(), {0, 0, 0, 1, 0, 0, 0, 0});
             put32(&bytes[directory + 4], static_cast<uint32_t>(bytes.size() - table));
             put32(&bytes[table], LittleEndian::get32(&bytes[table]) + 4);
         },
         "its certificate entry holds more than its signature"},
        {"no PKCS#7 content", [&](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes[table + 8] = 0x31; },
         "its signature has no ContentInfo where one belongs"},
        {"the certificate's key",
         [&](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes[find(bytes, TestRsa::modulus()) + 40] ^= 1; },
         "its signature does not verify with its certificate's key"},
        {"the certificate's serial number",
         [&](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes[find(bytes, TestRsa::serialNumber()) + 3] ^= 1; },
         "its signer's certificate is not among those its signature carries"},
        {"the signature value",
         [&](std::vector<uint8_t>& bytes, const PeHeaders&) {
             bytes[find(bytes, signatureValueHeader, true) + 3 + 64] ^= 0x10;
         },
         "its signature does not verify with its certificate's key"},
        {"SHA-384 in the digest algorithms",
         [&](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes[find(bytes, sha256Oid) + 10] = 0x02; },
         "its signature's digest algorithms do not name its signer's"},
        {"SHA-384 as the signer's digest algorithm",
         [&](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes[find(bytes, sha256Oid, true) + 10] = 0x02; },
         "its signer's digest is not SHA-256, the one velkin-pack checks"},
        {"the attributes' content type",
         [&](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes[find(bytes, contentTypeOid) + 15] ^= 1; },
         "its signature's attributes do not name Authenticode's indirect data as what it signs"},
        {"the attributes' digest",
         [&](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes[find(bytes, messageDigestOid) + 20] ^= 1; },
         "its signature's attributes hold another digest than that of what it signs"},
        {"no digest among the attributes",
         [&](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes[find(bytes, messageDigestOid) + 10] = 0x05; },
         "its signature's attributes hold no digest of what it signs"},
        {"the table inside the sections",
         [&](std::vector<uint8_t>& bytes, const PeHeaders& h) {
             put32(&bytes[directory], h.sections().back().pointerToRawData);
         },
         "its certificate table starts before the end of its last section"},
    };
    for (const Spoiling& spoiling : cases) {
        std::vector<uint8_t> spoiled = signedStub;
        spoiling.spoil(spoiled, headers);
        const AuthenticodeSignature signature = signatureOf(spoiled);
        EXPECT_TRUE(signature.present) << spoiling.what;
        EXPECT_EQ(spoiling.problem ? spoiling.problem : "", signature.problem) << spoiling.what;
    }
}

// A file changed after signing whose digests were made again to match,
// without the key: each digest is the file's and the attributes', but the
// signature value is still the old one.
TEST(AuthenticodeTest, DigestsMadeAgainWithoutTheKeyAreNoSignature) {
    std::vector<uint8_t> stub = readBytes(stubPath());
    const std::vector<uint8_t> original = withTestSignature(stub);
    stub[PeHeaders(MemoryBytes(stub)).sections().front().pointerToRawData] ^= 1;
    std::vector<uint8_t> forged = withTestSignature(stub);
    ASSERT_TRUE(signatureOf(forged).valid());
    ASSERT_EQ(original.size(), forged.size());
    const size_t value = find(forged, signatureValueHeader, true) + signatureValueHeader.size();
    std::copy_n(original.begin() + static_cast<ptrdiff_t>(value), 128, forged.begin() + static_cast<ptrdiff_t>(value));
    EXPECT_EQ("its signature does not verify with its certificate's key", signatureOf(forged).problem);
}

// The padding of a certificate entry is less than 8 bytes; a table starts
// at a multiple of 8.
TEST(AuthenticodeTest, PaddingAndAlignmentAreWindowsOwn) {
    const std::vector<uint8_t> signedStub = withTestSignature(readBytes(stubPath()));
    const PeHeaders headers{MemoryBytes(signedStub)};
    const size_t directory = headers.directoryOffset(PeHeaders::Certificates);
    const uint32_t table = headers.directory(PeHeaders::Certificates).rva;

    std::vector<uint8_t> padded = signedStub;
    padded.insert(padded.end(), 8, 0);
    put32(&padded[directory + 4], static_cast<uint32_t>(padded.size() - table));
    put32(&padded[table], LittleEndian::get32(&padded[table]) + 8);
    EXPECT_EQ("its certificate entry holds more than its signature", signatureOf(padded).problem);

    std::vector<uint8_t> shifted = signedStub;
    shifted.insert(shifted.begin() + table, 4, 0);
    put32(&shifted[directory], table + 4);
    EXPECT_EQ("its certificate table does not start at a multiple of 8 bytes", signatureOf(shifted).problem);
}

// Bytes flipped anywhere in the table end in a reason or a valid signature,
// never in a crash or a read out of bounds (the sanitizer build runs this).
TEST(AuthenticodeTest, AnyTableIsReadSafely) {
    const std::vector<uint8_t> signedStub = withTestSignature(readBytes(stubPath()));
    const PeHeaders headers{MemoryBytes(signedStub)};
    const uint32_t table = headers.directory(PeHeaders::Certificates).rva;
    std::mt19937 random(35);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> mutated = signedStub;
        for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips) {
            mutated[table + random() % (mutated.size() - table)] = static_cast<uint8_t>(random());
        }
        const AuthenticodeSignature signature = signatureOf(mutated);
        EXPECT_TRUE(signature.present);
    }
}

} // namespace
