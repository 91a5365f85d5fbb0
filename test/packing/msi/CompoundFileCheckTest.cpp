#include "CompoundFileCheck.h"
#include "CompoundTrees.h"
#include "DamagedFile.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

using LittleEndian::get32;
using LittleEndian::put16;
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

constexpr uint32_t endOfChain = 0xFFFFFFFE;

// The mini FAT entry of `miniSector` (the mini FAT's chain followed through
// the first FAT sector, which maps a small file whole).
size_t miniFatEntry(const std::vector<uint8_t>& file, uint32_t miniSector) {
    uint32_t sector = get32(&file[60]);
    for (uint32_t skip = miniSector / 128; skip > 0; --skip) {
        sector = get32(&file[fatEntry(file, sector)]);
    }
    return (size_t{sector} + 1) * 512 + 4 * (miniSector % 128);
}

// A version 4 compound file of 2^19 sectors (2 GiB) whose one stream's
// chain runs through all sectors but the FAT's 512, the DIFAT's one and the
// directory's one, made as it is read: only the header and those sectors
// hold anything. Its last sector leads on to `last`: the end of the chain,
// or a sector of it for a loop.
class LongChainFile : public ByteSource {
public:
    static constexpr uint32_t sectorSize = 4096;
    static constexpr uint32_t sectors = 1u << 19;
    static constexpr uint32_t fatSectors = sectors / (sectorSize / 4);
    static constexpr uint32_t difatSector = fatSectors;
    static constexpr uint32_t directorySector = fatSectors + 1;
    static constexpr uint32_t firstOfStream = fatSectors + 2;

    explicit LongChainFile(uint32_t last) : last_(last) {}

    uint64_t size() const override { return (uint64_t{sectors} + 1) * sectorSize; }

    void read(uint64_t offset, void* buffer, size_t size) const override {
        auto* to = static_cast<uint8_t*>(buffer);
        std::vector<uint8_t> sector(sectorSize);
        for (uint64_t at = offset; at < offset + size;) {
            const uint64_t index = at / sectorSize;
            fill(index, sector.data());
            const size_t part = static_cast<size_t>(std::min<uint64_t>(sectorSize - at % sectorSize, offset + size - at));
            std::memcpy(to + (at - offset), &sector[at % sectorSize], part);
            at += part;
        }
    }

private:
    // Sector `index` of the file, the header's counted as 0.
    void fill(uint64_t index, uint8_t* sector) const {
        std::fill(sector, sector + sectorSize, 0);
        if (index == 0) {
            fillHeader(sector);
        } else if (index - 1 < fatSectors) {
            for (uint32_t i = 0; i < sectorSize / 4; ++i) {
                put32(sector + 4 * i, next(static_cast<uint32_t>((index - 1) * (sectorSize / 4) + i)));
            }
        } else if (index - 1 == difatSector) {
            std::fill(sector, sector + sectorSize, 0xFF);
            for (uint32_t i = 0; i + 109 < fatSectors; ++i) {
                put32(sector + 4 * i, i + 109);
            }
            put32(sector + sectorSize - 4, endOfChain);
        } else if (index - 1 == directorySector) {
            fillDirectory(sector);
        }
    }

    uint32_t next(uint32_t sector) const {
        if (sector < fatSectors) {
            return 0xFFFFFFFD;
        }
        if (sector == difatSector) {
            return 0xFFFFFFFC;
        }
        if (sector == directorySector) {
            return endOfChain;
        }
        return sector + 1 == sectors ? last_ : sector + 1;
    }

    static void fillHeader(uint8_t* header) {
        const uint8_t signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
        std::memcpy(header, signature, sizeof(signature));
        put16(header + 24, 0x3E);
        put16(header + 26, 4);
        put16(header + 28, 0xFFFE);
        put16(header + 30, 12);
        put16(header + 32, 6);
        put32(header + 44, fatSectors);
        put32(header + 48, directorySector);
        put32(header + 56, 4096);
        put32(header + 60, endOfChain);
        put32(header + 68, difatSector);
        put32(header + 72, 1);
        for (uint32_t i = 0; i < 109; ++i) {
            put32(header + 76 + 4 * i, i);
        }
    }

    static void fillDirectory(uint8_t* directory) {
        std::fill(directory, directory + sectorSize, 0);
        const auto entry = [directory](uint32_t id, const char* name, uint8_t type, uint32_t child, uint32_t start,
                                       uint64_t size) {
            uint8_t* at = directory + 128 * id;
            size_t length = 0;
            for (; name[length]; ++length) {
                put16(at + 2 * length, static_cast<uint8_t>(name[length]));
            }
            put16(at + 64, static_cast<uint16_t>(2 * (length + 1)));
            at[66] = type;
            at[67] = 1;
            put32(at + 68, 0xFFFFFFFF);
            put32(at + 72, 0xFFFFFFFF);
            put32(at + 76, child);
            put32(at + 116, start);
            put32(at + 120, static_cast<uint32_t>(size));
            put32(at + 124, static_cast<uint32_t>(size >> 32));
        };
        entry(0, "Root Entry", 5, 1, endOfChain, 0);
        entry(1, "Long", 2, 0xFFFFFFFF, firstOfStream, uint64_t{sectors - firstOfStream} * sectorSize);
    }

    uint32_t last_;
};

// What the check says of a file, and how long it took to say it.
std::pair<std::string, double> timedRefusal(const ByteSource& file) {
    const auto start = std::chrono::steady_clock::now();
    std::string said = "accepted";
    try {
        checkCompoundFile(file, 0, file.size());
    } catch (const VkError<DamagedFileError>& e) {
        said = e.originalMessage();
    }
    return {said, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
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

// A loop is refused as a loop, not as a chain running into another: in the
// mini FAT as in the FAT, where the second sector of a stream leads back to
// its first.
TEST(CompoundFileCheckTest, AMiniChainThatLoopsIsRefusedAsALoop) {
    const std::vector<uint8_t> whole = demo();
    const size_t directory = (size_t{get32(&whole[48])} + 1) * 512;
    std::vector<uint8_t> loop = whole;
    bool found = false;
    for (size_t entry = directory; entry < directory + 512 && !found; entry += 128) {
        const uint32_t size = get32(&whole[entry + 120]);
        const uint32_t first = get32(&whole[entry + 116]);
        if (whole[entry + 66] == 2 && size > 64 && size < 4096) {
            put32(&loop[miniFatEntry(loop, get32(&whole[miniFatEntry(whole, first)]))], first);
            EXPECT_EQ("its mini FAT chain loops at mini sector " + std::to_string(first), refusal(loop));
            found = true;
        }
    }
    ASSERT_TRUE(found) << "no stream of two mini sectors or more in the demo's first directory sector";
}

// A chain of half a million sectors is walked once: its loop, from its last
// sector back to its first or into its middle, is refused as a loop in a
// time that grows with the chain's length (milliseconds here), where a walk
// that searched the chain behind it at each step would take minutes. The
// same file with its chain ended is a sound file.
TEST(CompoundFileCheckTest, ALongChainThatLoopsIsRefusedAsALoopAtOnce) {
    constexpr double boundSeconds = 10;
    const auto [sound, soundTime] = timedRefusal(LongChainFile(endOfChain));
    EXPECT_EQ("accepted", sound);
    EXPECT_LT(soundTime, boundSeconds);
    constexpr uint32_t first = LongChainFile::firstOfStream;
    constexpr uint32_t middle = (first + LongChainFile::sectors) / 2;
    for (const uint32_t target : {first, middle}) {
        const auto [said, seconds] = timedRefusal(LongChainFile(target));
        EXPECT_EQ("its FAT chain loops at sector " + std::to_string(target), said);
        EXPECT_LT(seconds, boundSeconds) << "to " << target;
    }
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
