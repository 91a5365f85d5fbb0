#include "CompoundFileCheck.h"
#include "CompoundTrees.h"
#include "DamagedFile.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using LittleEndian::get32;
using LittleEndian::put32;

std::string refusal(const std::vector<uint8_t>& bytes, uint64_t offset = 0) {
    try {
        checkCompoundFile(MemoryBytes(bytes), offset, bytes.size() - offset);
    } catch (const VkError<DamagedFileError>& e) {
        return e.originalMessage();
    }
    return "accepted";
}

std::vector<uint8_t> demo() { return readBytes(packagePath("demo.msi")); }

// Where the FAT entry of `sector` lies (its FAT's first sector holds it).
size_t fatEntry(const std::vector<uint8_t>& file, uint32_t sector) {
    return (size_t{get32(&file[76])} + 1) * 512 + 4 * sector;
}

// Every package the build makes, alone and inside a larger file, as a setup
// holds it.
TEST(CompoundFileCheckTest, AcceptsEveryTestPackage) {
    for (const char* name : {"demo.msi", "peruser.msi", "permachine.msi", "args.msi", "refused.msi", "query.msi",
                             "binary.msi", "large.msi"}) {
        const std::vector<uint8_t> package = readBytes(packagePath(name));
        EXPECT_EQ("accepted", refusal(package)) << name;
        std::vector<uint8_t> inside(1000 + package.size(), 0x5A);
        std::copy(package.begin(), package.end(), inside.begin() + 1000);
        EXPECT_EQ("accepted", refusal(inside, 1000)) << name;
    }
}

TEST(CompoundFileCheckTest, HeaderDamageIsNamed) {
    const std::vector<uint8_t> whole = demo();
    EXPECT_EQ("its 511 bytes are fewer than a compound file's header takes",
              refusal(std::vector<uint8_t>(whole.begin(), whole.begin() + 511)));
    std::vector<uint8_t> signature = whole;
    signature[7] = 0;
    EXPECT_EQ("it does not start as a compound file does", refusal(signature));
    std::vector<uint8_t> shift = whole;
    shift[30] = 10;
    EXPECT_EQ("its header gives version 3 with sectors of 2^10 bytes", refusal(shift));
    std::vector<uint8_t> difat = whole;
    put32(&difat[72], 0x3FFFFFFF);
    EXPECT_NE(std::string::npos, refusal(difat).find("its header counts 1 FAT and 1073741823 DIFAT sectors"));
}

// A chain that comes back to itself, or into another, ends the walk at
// once, naming the sector.
TEST(CompoundFileCheckTest, ChainsThatLoopOrCrossAreNamed) {
    const std::vector<uint8_t> whole = demo();
    const uint32_t directory = get32(&whole[48]);
    std::vector<uint8_t> loop = whole;
    put32(&loop[fatEntry(loop, directory)], directory);
    EXPECT_EQ("its FAT chain loops at sector " + std::to_string(directory), refusal(loop));

    std::vector<uint8_t> outside = whole;
    put32(&outside[fatEntry(outside, directory)], 0x00FFFFFF);
    EXPECT_EQ("its FAT chain points outside the file at sector 16777215", refusal(outside));

    // The directory's chain runs into the FAT's own sector.
    std::vector<uint8_t> cross = whole;
    put32(&cross[fatEntry(cross, directory)], get32(&whole[76]));
    EXPECT_EQ("its sector " + std::to_string(get32(&whole[76])) + " lies in two FAT chains", refusal(cross));
}

TEST(CompoundFileCheckTest, DirectoryCyclesAndLongStreamsAreNamed) {
    const std::vector<uint8_t> whole = demo();
    const size_t directory = (size_t{get32(&whole[48])} + 1) * 512;
    // The root's child points back at the root.
    const uint32_t child = get32(&whole[directory + 76]);
    std::vector<uint8_t> cycle = whole;
    put32(&cycle[directory + 128 * child + 68], 0);
    EXPECT_EQ("its directory has a cycle at entry 0", refusal(cycle));

    std::vector<uint8_t> name = whole;
    name[directory + 128 * child + 64] = 66;
    EXPECT_EQ("its directory entry " + std::to_string(child) + " gives its name 66 bytes, more than the 64 it may have",
              refusal(name));

    // The mini stream, the root's, said to be longer than its chain.
    std::vector<uint8_t> longer = whole;
    put32(&longer[directory + 120], 0x7FFFFFFF);
    EXPECT_NE(std::string::npos,
              refusal(longer).find("its mini stream holds 2147483647 bytes, more than its chain's "));
}

// Damage that one host's reader took and the other's refused, refused on
// both: a sector cut short, a DIFAT beginning or going on outside what its
// header counts, names of a length no name has.
TEST(CompoundFileCheckTest, DamageOneReaderTakesIsRefused) {
    const std::vector<uint8_t> whole = demo();
    const std::vector<uint8_t> cut(whole.begin(), whole.end() - 1);
    // wixl puts the FAT last, our writer a stream.
    EXPECT_EQ("its FAT sector " + std::to_string(whole.size() / 512 - 2) + " lies outside the file", refusal(cut));
    std::vector<uint8_t> written = writtenBytes(knownTree());
    written.pop_back();
    EXPECT_EQ("its FAT chain points outside the file at sector " + std::to_string(written.size() / 512 - 1),
              refusal(written));
    // Bytes after the last whole sector are no sector of the file.
    std::vector<uint8_t> longer = whole;
    longer.resize(whole.size() + 511, 0xEE);
    EXPECT_EQ("accepted", refusal(longer));

    std::vector<uint8_t> difatStart = whole;
    put32(&difatStart[68], 0x00FFFFFF);
    EXPECT_EQ("its DIFAT starts outside the file at sector 16777215", refusal(difatStart));
    put32(&difatStart[68], 0xFFFFFFFF);
    EXPECT_EQ("accepted", refusal(difatStart));

    const uint32_t directorySector = get32(&whole[48]);
    const size_t directory = (size_t{directorySector} + 1) * 512;
    const uint32_t child = get32(&whole[directory + 76]);
    for (uint8_t length : {0, 1, 37}) {
        std::vector<uint8_t> name = whole;
        name[directory + 128 * child + 64] = length;
        EXPECT_EQ("its directory entry " + std::to_string(child) + " gives its name " + std::to_string(length) +
                      " bytes, which no name with its terminator takes",
                  refusal(name));
    }
    // A length that cuts the name short, its terminator not where it says.
    std::vector<uint8_t> shorter = whole;
    shorter[directory + 128 * child + 64] -= 2;
    EXPECT_EQ("its directory entry " + std::to_string(child) + " does not end its name where its length says",
              refusal(shorter));
    std::vector<uint8_t> rootName = whole;
    rootName[directory + 64] = 0;
    EXPECT_EQ("its directory entry 0 gives its name 0 bytes, which no name with its terminator takes",
              refusal(rootName));
}

// A package of 33 MB lists its FAT in four DIFAT sectors: the chain is
// walked as far as the header counts, whatever the FAT needs.
TEST(CompoundFileCheckTest, TheDifatChainIsWalkedAsFarAsItsCount) {
    const std::vector<uint8_t> large = readBytes(packagePath("large.msi"));
    ASSERT_EQ(4u, get32(&large[72]));
    std::vector<uint32_t> difat{get32(&large[68])};
    for (int i = 0; i < 3; ++i) {
        difat.push_back(get32(&large[(size_t{difat.back()} + 1) * 512 + 508]));
    }
    const auto nextOf = [](uint32_t sector) { return (size_t{sector} + 1) * 512 + 508; };

    std::vector<uint8_t> self = large;
    put32(&self[nextOf(difat[3])], difat[3]);
    EXPECT_EQ("its DIFAT chain loops at sector " + std::to_string(difat[3]), refusal(self));
    self = large;
    put32(&self[nextOf(difat[1])], difat[1]);
    EXPECT_EQ("its DIFAT chain loops at sector " + std::to_string(difat[1]), refusal(self));

    // One more DIFAT sector counted than the FAT needs: the chain ends
    // before it, or leads outside the file.
    std::vector<uint8_t> more = large;
    put32(&more[72], 5);
    EXPECT_EQ("its DIFAT chain ends after 4 of the 5 sectors its header counts", refusal(more));
    put32(&more[nextOf(difat[3])], 0x00FFFFFF);
    EXPECT_EQ("its DIFAT chain points outside the file at sector 16777215", refusal(more));
    // The last one going on past the count.
    std::vector<uint8_t> past = large;
    put32(&past[nextOf(difat[3])], 3);
    EXPECT_EQ("its DIFAT chain goes on past the 4 sectors its header counts", refusal(past));
}

// The summary information, a property set in the mini stream: a section
// that would lie past the stream's end.
TEST(CompoundFileCheckTest, ADamagedSummaryInformationIsNamed) {
    std::vector<uint8_t> summary = demo();
    const std::vector<uint8_t> fmtid = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10};
    const auto at = std::search(summary.begin(), summary.end(), fmtid.begin(), fmtid.end());
    ASSERT_NE(summary.end(), at);
    put32(&*(at + 16), 0x7FFFFFF0);
    EXPECT_EQ("its summary information stream is damaged", refusal(summary));
}

} // namespace
