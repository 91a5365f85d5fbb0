#include "CompoundFileCheck.h"
#include "CompoundFileReader.h"
#include "CompoundFileWriter.h"
#include "CompoundTrees.h"
#include "ErrorHandling.h"
#include "Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using LittleEndian::get16;
using LittleEndian::get32;

// Written, checked, read back: the same tree, the size said beforehand.
void expectRoundTrip(const CompoundStorage& tree) {
    const std::vector<uint8_t> bytes = writtenBytes(tree);
    EXPECT_EQ(compoundFileSize(tree), bytes.size());
    const MemoryBytes file(bytes);
    const CompoundFileReader reader(file, 0, bytes.size());
    EXPECT_EQ("", treeDifferences(tree, reader.root()));
}

std::string refusal(const CompoundStorage& tree) {
    try {
        compoundFileSize(tree);
    } catch (const VkError<std::runtime_error>& e) {
        return e.originalMessage();
    }
    return "accepted";
}

// The directory of a written file, entry by entry (its sectors follow each
// other: the writer lays them out so).
struct Directory {
    explicit Directory(const std::vector<uint8_t>& file)
        : file(file), start((size_t{get32(&file[48])} + 1) * 512) {}
    const uint8_t* entry(uint32_t id) const { return &file[start + 128 * size_t{id}]; }
    std::u16string name(uint32_t id) const {
        std::u16string text;
        for (size_t i = 0; i + 2 < get16(entry(id) + 64); i += 2) {
            text.push_back(static_cast<char16_t>(get16(entry(id) + i)));
        }
        return text;
    }
    const std::vector<uint8_t>& file;
    size_t start;
};

// A storage's sibling tree is a red-black tree in the format's order: its
// root black, no red node with a red child, as many black nodes on every
// path down. Gives the number of entries, or -1 with a failure added.
int checkSiblingTree(const Directory& directory, uint32_t storage) {
    std::vector<std::u16string> order;
    std::function<int(uint32_t, bool)> blackHeight = [&](uint32_t id, bool parentRed) -> int {
        if (id == 0xFFFFFFFF) {
            return 0;
        }
        const bool red = directory.entry(id)[67] == 0;
        EXPECT_FALSE(red && parentRed) << "two reds at entry " << id;
        const int left = blackHeight(get32(directory.entry(id) + 68), red);
        order.push_back(directory.name(id));
        const int right = blackHeight(get32(directory.entry(id) + 72), red);
        EXPECT_EQ(left, right) << "black heights differ below entry " << id;
        return left + (red ? 0 : 1);
    };
    const uint32_t root = get32(directory.entry(storage) + 76);
    if (root != 0xFFFFFFFF) {
        EXPECT_EQ(1, directory.entry(root)[67]) << "red root under entry " << storage;
    }
    blackHeight(root, true);
    for (size_t i = 1; i < order.size(); ++i) {
        EXPECT_LT(compareEntryNames(order[i - 1], order[i]), 0) << "out of order under entry " << storage;
    }
    return static_cast<int>(order.size());
}

TEST(CompoundFileWriterTest, EveryKindOfPartReadsBack) {
    expectRoundTrip(knownTree());
    expectRoundTrip(CompoundStorage());
    CompoundStorage empties;
    empties.streams.push_back(generatedStream(u"a", 0, 1));
    empties.streams.push_back(CompoundStream{u"c", nullptr});
    empties.storages.push_back(storageNamed(u"b", 7));
    expectRoundTrip(empties);
}

// Below the cutoff a stream goes to the mini stream (its own FAT sector, 64
// bytes a mini sector), from the cutoff on to sectors of its own.
TEST(CompoundFileWriterTest, StreamsAroundTheCutoffLandWhereTheFormatSays) {
    const auto sizeWith = [](uint64_t streamSize) {
        CompoundStorage root;
        root.streams.push_back(generatedStream(u"s", streamSize, 3));
        expectRoundTrip(root);
        return compoundFileSize(root) / 512;
    };
    // Header, FAT, directory; then the mini FAT and the mini stream's
    // sectors, or the stream's own.
    EXPECT_EQ(3u, sizeWith(0));
    EXPECT_EQ(5u, sizeWith(1));
    EXPECT_EQ(5u, sizeWith(64));
    EXPECT_EQ(5u, sizeWith(512));
    EXPECT_EQ(6u, sizeWith(513));
    EXPECT_EQ(12u, sizeWith(4095));
    EXPECT_EQ(11u, sizeWith(4096));
    EXPECT_EQ(12u, sizeWith(4097));

    CompoundStorage together;
    for (uint64_t size : {0, 1, 63, 64, 65, 4095, 4096, 4097, 8192, 100000}) {
        together.streams.push_back(generatedStream(u"s" + std::u16string(1, char16_t(u'a' + size % 26)) +
                                                       std::u16string(size % 7 + 1, u'x'),
                                                   size, static_cast<uint32_t>(size)));
    }
    expectRoundTrip(together);
}

TEST(CompoundFileWriterTest, ManySiblingsAndDeepStoragesFormValidTrees) {
    CompoundStorage root;
    for (int i = 0; i < 1000; ++i) {
        root.streams.push_back(generatedStream(u"stream" + std::u16string(1, char16_t(u'A' + i % 26)) +
                                                   std::u16string(1, char16_t(0x3800 + i)),
                                               static_cast<uint64_t>(i * 7), i));
    }
    CompoundStorage* deepest = &root;
    for (int depth = 0; depth < 40; ++depth) {
        deepest->storages.push_back(storageNamed(u"level", static_cast<uint8_t>(depth + 1)));
        deepest = &deepest->storages.back();
        deepest->streams.push_back(generatedStream(u"here", 10 + depth, depth));
    }
    expectRoundTrip(root);

    const std::vector<uint8_t> bytes = writtenBytes(root);
    const Directory directory(bytes);
    EXPECT_EQ(1001, checkSiblingTree(directory, 0));
    // Every count of siblings, complete trees and those one short of it.
    for (int count = 1; count <= 70; ++count) {
        CompoundStorage siblings;
        for (int i = 0; i < count; ++i) {
            siblings.streams.push_back(generatedStream(std::u16string(1 + i % 3, char16_t(u'a' + i)), 1, i));
        }
        const std::vector<uint8_t> file = writtenBytes(siblings);
        EXPECT_EQ(count, checkSiblingTree(Directory(file), 0)) << count << " siblings";
    }
}

// More than 109 FAT sectors: the rest listed by DIFAT sectors (two here),
// chained, each FAT sector found through them.
TEST(CompoundFileWriterTest, ALargeFileListsItsFatInDifatSectors) {
    CompoundStorage root;
    root.streams.push_back(generatedStream(u"large", 15u << 20, 11));
    root.streams.push_back(generatedStream(u"small", 100, 12));
    const std::vector<uint8_t> bytes = writtenBytes(root);
    EXPECT_EQ(2u, get32(&bytes[72]));
    EXPECT_GT(get32(&bytes[44]), 109u + 127u);
    const MemoryBytes file(bytes);
    EXPECT_EQ("", treeDifferences(root, CompoundFileReader(file, 0, bytes.size()).root()));
}

// The known tree's bytes: the same on Linux and on Windows (this test runs
// on both), and on every run.
TEST(CompoundFileWriterTest, TheSameTreeGivesTheSameBytesOnEveryHost) {
    const std::vector<uint8_t> bytes = writtenBytes(knownTree());
    EXPECT_EQ(bytes, writtenBytes(knownTree()));
    Sha256 sum;
    sum.add(bytes.data(), bytes.size());
    EXPECT_EQ("D90FD77D07CA58F1F6D090A4B2BCEA252B2DE3CBAC580CEC2ECC25AD26E498A9", Sha256::hex(sum.finish()));

    // A file with DIFAT sectors, summed as it is written.
    CompoundStorage large = knownTree();
    large.streams.push_back(generatedStream(u"large", 15u << 20, 13));
    Sha256 largeSum;
    writeCompoundFile(large, [&](const uint8_t* data, size_t size) { largeSum.add(data, size); });
    EXPECT_EQ("32687C156EB7B0AD6F254D2F32F047F2043A94937DABE805C1851D726EA52579", Sha256::hex(largeSum.finish()));
}

// A stream's bytes are read in pieces of at most 64 KiB, and passed on so.
TEST(CompoundFileWriterTest, StreamsPassInPieces) {
    class Watched : public GeneratedBytes {
    public:
        using GeneratedBytes::GeneratedBytes;
        void read(uint64_t offset, void* buffer, size_t size) const override {
            largest = std::max(largest, size);
            GeneratedBytes::read(offset, buffer, size);
        }
        mutable size_t largest = 0;
    };
    auto watched = std::make_shared<Watched>(1u << 20, 5);
    CompoundStorage root;
    root.streams.push_back(CompoundStream{u"watched", watched});
    size_t largestOut = 0;
    uint64_t total = 0;
    writeCompoundFile(root, [&](const uint8_t*, size_t size) {
        largestOut = std::max(largestOut, size);
        total += size;
    });
    EXPECT_EQ(64u * 1024, watched->largest);
    EXPECT_LE(largestOut, 64u * 1024);
    EXPECT_EQ(compoundFileSize(root), total);
}

TEST(CompoundFileWriterTest, TreesTheFormatCannotHoldAreRefused) {
    const auto with = [](std::vector<CompoundStream> streams, std::vector<CompoundStorage> storages = {}) {
        CompoundStorage root;
        root.streams = std::move(streams);
        root.storages = std::move(storages);
        return refusal(root);
    };
    EXPECT_EQ("accepted", with({generatedStream(std::u16string(31, u'n'), 1, 1)}));
    EXPECT_EQ("A compound file's entry name has 32 UTF-16 code units, not 1 to 31",
              with({generatedStream(std::u16string(32, u'n'), 1, 1)}));
    EXPECT_EQ("A compound file's entry name has 0 UTF-16 code units, not 1 to 31", with({}, {storageNamed(u"")}));
    EXPECT_EQ("A compound file's entry name holds a zero code unit",
              with({generatedStream(std::u16string(u"a\0b", 3), 1, 1)}));
    const std::string twice = "A compound file's storage holds two entries of the same name, as the format compares names";
    EXPECT_EQ(twice, with({generatedStream(u"Name", 1, 1)}, {storageNamed(u"nAME")}));
    EXPECT_EQ(twice, with({generatedStream(u"\x00E9t\x00E9", 1, 1), generatedStream(u"\x00C9T\x00C9", 1, 1)}));
    EXPECT_EQ("accepted", with({generatedStream(u"ab", 1, 1), generatedStream(u"b", 1, 1)}));
    EXPECT_EQ("A stream of 2147483649 bytes is more than a compound file of version 3 holds (2147483648)",
              with({generatedStream(u"huge", 0x80000001, 1)}));
    // Deeper in the tree too.
    CompoundStorage inner = storageNamed(u"inner");
    inner.streams = {generatedStream(u"x", 1, 1), generatedStream(u"X", 1, 1)};
    EXPECT_EQ(twice, with({}, {inner}));

    CompoundStorage nested;
    CompoundStorage* deepest = &nested;
    for (int depth = 0; depth < 256; ++depth) {
        deepest->storages.push_back(storageNamed(u"s"));
        deepest = &deepest->storages.back();
    }
    expectRoundTrip(nested);
    deepest->storages.push_back(storageNamed(u"s"));
    EXPECT_EQ("A compound file's storages nest deeper than 256", refusal(nested));
}

} // namespace
