#include "CompoundFileReader.h"
#include "CompoundTrees.h"
#include "DamagedFile.h"
#include "ErrorHandling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using LittleEndian::get32;
using LittleEndian::put32;

// The reader's streams are read at any place, in any order, within their
// size.
TEST(CompoundFileReaderTest, StreamsReadAnywhere) {
    const CompoundStorage tree = knownTree();
    const std::vector<uint8_t> bytes = writtenBytes(tree);
    const MemoryBytes file(bytes);
    const CompoundFileReader reader(file, 0, bytes.size());
    // A regular stream and one in the mini stream.
    for (const char16_t* name : {u"cabinet.cab", u"\x4840\x3F3F\x4577\x446C\x3B6A\x45E4\x4824"}) {
        const ByteSource& expected = *findStream(tree, name)->bytes;
        const ByteSource& read = *findStream(reader.root(), name)->bytes;
        for (uint64_t at : {uint64_t{300}, uint64_t{5}, expected.size() - 1, uint64_t{0}, expected.size() / 2}) {
            const size_t length = static_cast<size_t>(std::min<uint64_t>(expected.size() - at, 1000));
            EXPECT_EQ(expected.bytes(at, length), read.bytes(at, length)) << at;
        }
        EXPECT_THROW(read.bytes(expected.size() - 1, 2), VkError<std::runtime_error>);
    }
    EXPECT_EQ(nullptr, findStream(reader.root(), u"cabinet.CAB"));
    EXPECT_EQ(nullptr, findStream(reader.root(), u"1031.mst"));
    ASSERT_NE(nullptr, findStorage(reader.root(), u"1031.mst"));
    EXPECT_EQ(knownTree().clsid, reader.root().clsid);
}

// A written file whose stream `name` (its chain in sectors of `unit` bytes
// from `first`, its table's entries from `table` in the file, its units'
// places in the file given by `place`) is laid out backwards: the chain
// jumps back at every step, as in a file written piece by piece.
void reverseChain(std::vector<uint8_t>& file, const std::u16string& name, uint32_t unit, size_t table,
                  const std::function<size_t(uint32_t)>& place) {
    std::vector<uint8_t> encoded;
    for (char16_t c : name) {
        encoded.push_back(static_cast<uint8_t>(c));
        encoded.push_back(0);
    }
    encoded.push_back(0);
    encoded.push_back(0);
    const auto entry = std::search(file.begin(), file.end(), encoded.begin(), encoded.end());
    ASSERT_NE(file.end(), entry);
    const uint32_t first = get32(&*entry + 116);
    const uint32_t count = static_cast<uint32_t>((get32(&*entry + 120) + unit - 1) / unit);
    const std::vector<uint8_t> before = file;
    for (uint32_t j = 0; j < count; ++j) {
        const uint32_t to = first + count - 1 - j;
        std::copy_n(&before[place(first + j)], unit, &file[place(to)]);
        put32(&file[table + 4 * size_t{to}], j + 1 < count ? to - 1 : 0xFFFFFFFE);
    }
    put32(&*entry + 116, first + count - 1);
}

// Chains that jump back at every step, regular and mini, read as written.
TEST(CompoundFileReaderTest, ChainsOutOfOrderReadAsWritten) {
    CompoundStorage tree;
    tree.streams.push_back(generatedStream(u"regular", 40 * 512 - 100, 21));
    tree.streams.push_back(generatedStream(u"mini", 30 * 64 - 10, 22));
    std::vector<uint8_t> bytes = writtenBytes(tree);
    // One FAT sector, at sector 0; the mini FAT's sector follows the
    // directory's, the mini stream's sectors follow it.
    const size_t fat = 512;
    reverseChain(bytes, u"regular", 512, fat, [](uint32_t sector) { return (size_t{sector} + 1) * 512; });
    const uint32_t miniFat = get32(&bytes[60]);
    const size_t miniStream = (size_t{miniFat} + 2) * 512;
    reverseChain(bytes, u"mini", 64, (size_t{miniFat} + 1) * 512,
                 [&](uint32_t sector) { return miniStream + 64 * size_t{sector}; });
    const MemoryBytes file(bytes);
    const CompoundFileReader reader(file, 0, bytes.size());
    EXPECT_EQ("", treeDifferences(tree, reader.root()));
    for (const char16_t* name : {u"regular", u"mini"}) {
        const ByteSource& expected = *findStream(tree, name)->bytes;
        const ByteSource& read = *findStream(reader.root(), name)->bytes;
        for (uint64_t at : {expected.size() - 700, uint64_t{1}, uint64_t{600}, uint64_t{63}}) {
            const size_t length = static_cast<size_t>(std::min<uint64_t>(expected.size() - at, 700));
            EXPECT_EQ(expected.bytes(at, length), read.bytes(at, length)) << at;
        }
    }
}

// A package inside a larger file, as a setup holds it, reads as it does
// alone.
TEST(CompoundFileReaderTest, APackageInsideALargerFileReadsAsAlone) {
    const CompoundStorage tree = knownTree();
    const std::vector<uint8_t> bytes = writtenBytes(tree);
    std::vector<uint8_t> inside(1000 + bytes.size() + 3000, 0x5A);
    std::copy(bytes.begin(), bytes.end(), inside.begin() + 1000);
    const MemoryBytes file(inside);
    const CompoundFileReader reader(file, 1000, bytes.size());
    EXPECT_EQ("", treeDifferences(tree, reader.root()));
}

// Storages nested deeper than 256 are refused, as the writer refuses to
// write them.
TEST(CompoundFileReaderTest, StoragesNestedTooDeepAreDamage) {
    CompoundStorage nested;
    CompoundStorage* deepest = &nested;
    for (int depth = 0; depth < 256; ++depth) {
        deepest->storages.push_back(storageNamed(u"s"));
        deepest = &deepest->storages.back();
    }
    deepest->streams.push_back(generatedStream(u"deepest", 0, 1));
    std::vector<uint8_t> bytes = writtenBytes(nested);
    const MemoryBytes file(bytes);
    EXPECT_NO_THROW(CompoundFileReader(file, 0, bytes.size()));
    // The deepest stream made a storage.
    const std::u16string name = u"deepest";
    std::vector<uint8_t> encoded;
    for (char16_t unit : name) {
        encoded.push_back(static_cast<uint8_t>(unit));
        encoded.push_back(0);
    }
    const auto at = std::search(bytes.begin(), bytes.end(), encoded.begin(), encoded.end());
    ASSERT_NE(bytes.end(), at);
    at[66] = 1;
    try {
        CompoundFileReader reader(file, 0, bytes.size());
        ADD_FAILURE() << "accepted";
    } catch (const VkError<DamagedFileError>& e) {
        EXPECT_STREQ("its storages nest deeper than 256", e.originalMessage());
    }
}

} // namespace
