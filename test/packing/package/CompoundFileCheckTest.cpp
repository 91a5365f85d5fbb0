#include "CompoundFileCheck.h"
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

// The summary information, a property set in the mini stream: a section
// that would lie past the stream's end.
TEST(CompoundFileCheckTest, ADamagedSummaryInformationIsNamed) {
    std::vector<uint8_t> summary = demo();
    const std::vector<uint8_t> fmtid = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10};
    const auto at = std::search(summary.begin(), summary.end(), fmtid.begin(), fmtid.end());
    ASSERT_NE(summary.end(), at);
    std::vector<uint8_t> pastTheEnd = summary;
    put32(&pastTheEnd[static_cast<size_t>(at - summary.begin()) + 16], 0x7FFFFFF0);
    EXPECT_EQ("its summary information stream is damaged", refusal(pastTheEnd));

    // A property's offset leaves room for its 4-byte type inside the
    // section: at the section's size less 4 it does, 3 bytes further on not.
    const size_t stream = static_cast<size_t>(at - summary.begin()) - 28;
    const size_t section = stream + get32(&summary[stream + 44]);
    const uint32_t sectionSize = get32(&summary[section]);
    ASSERT_GE(get32(&summary[section + 4]), 1u);
    std::vector<uint8_t> last = summary;
    put32(&last[section + 12], sectionSize - 4);
    EXPECT_EQ("accepted", refusal(last));
    for (const uint32_t beyond : {sectionSize - 3, sectionSize, sectionSize + 4}) {
        std::vector<uint8_t> outside = summary;
        put32(&outside[section + 12], beyond);
        EXPECT_EQ("its summary information stream is damaged", refusal(outside)) << beyond << " in " << sectionSize;
    }
}

} // namespace
