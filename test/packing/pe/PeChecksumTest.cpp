#include "ByteSource.h"
#include "PeChecksum.h"
#include "PeHeaders.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <random>

namespace {

uint32_t wholeFile(const std::vector<uint8_t>& file, size_t checksumOffset) {
    std::vector<uint8_t> cleared = file;
    LittleEndian::put32(&cleared[checksumOffset], 0);
    PeChecksum checksum;
    checksum.add(0, cleared.data(), cleared.size());
    return checksum.finish(cleared.size());
}

TEST(PeChecksumTest, EqualsTheLinkersOverTheUntouchedStub) {
    const std::vector<uint8_t> stub = readBytes(stubPath());
    const PeHeaders headers{MemoryBytes(stub)};
    ASSERT_NE(0u, headers.checksum());
    EXPECT_EQ(headers.checksum(), wholeFile(stub, headers.checksumOffset()));
}

// Parts added in any order, at odd or even offsets, sum as the whole does:
// the writer adds the package from another thread.
TEST(PeChecksumTest, PartsInAnyOrderSumAsTheWhole) {
    std::mt19937 random(7);
    std::vector<uint8_t> file(100003);
    for (uint8_t& byte : file) {
        byte = static_cast<uint8_t>(random());
    }
    PeChecksum whole;
    whole.add(0, file.data(), file.size());
    for (const size_t cut : {size_t{1}, size_t{2}, size_t{3}, size_t{4097}, file.size() - 1}) {
        PeChecksum second;
        second.add(cut, file.data() + cut, file.size() - cut);
        PeChecksum first;
        first.add(0, file.data(), cut);
        second.add(first);
        EXPECT_EQ(whole.finish(file.size()), second.finish(file.size())) << "cut at " << cut;
    }
}

// The fold of every carry: all 0xFF bytes sum to the largest 16-bit value,
// never to 0; no bytes sum to 0. Either way the length is added.
TEST(PeChecksumTest, FoldsCarriesAndAddsTheLength) {
    const std::vector<uint8_t> ones(1000, 0xFF);
    PeChecksum full;
    full.add(0, ones.data(), ones.size());
    EXPECT_EQ(0xFFFFu + 1000u, full.finish(1000));
    EXPECT_EQ(1000u, PeChecksum().finish(1000));
}

} // namespace
