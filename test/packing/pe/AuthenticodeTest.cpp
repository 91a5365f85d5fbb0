// A certificate table is a signature only in the form Windows reads and with
// the file's own digest: zeros, a table cut short or followed by data, an
// entry of another kind and a file changed after signing are none, each
// with its reason; no bytes in the table make the reader fail otherwise.
#include "Authenticode.h"
#include "ByteSource.h"
#include "ErrorHandling.h"
#include "PeHeaders.h"
#include "TestFiles.h"
#include "TestSignature.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

using LittleEndian::put32;

AuthenticodeSignature signatureOf(const std::vector<uint8_t>& program) {
    const MemoryBytes bytes(program);
    return readAuthenticodeSignature(bytes, PeHeaders(bytes));
}

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
        {"junk in the entry", [&](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes[bytes.size() - 1] = 1; },
         "its certificate entry holds more than its signature"},
        {"no PKCS#7 content", [&](std::vector<uint8_t>& bytes, const PeHeaders&) { bytes[table + 8] = 0x31; },
         "its signature has no ContentInfo where one belongs"},
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
