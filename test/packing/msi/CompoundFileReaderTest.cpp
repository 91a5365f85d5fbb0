#include "CompoundFileReader.h"
#include "CompoundTrees.h"
#include "DamagedFile.h"
#include "ErrorHandling.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

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
