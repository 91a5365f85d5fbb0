// A package's own signature and the comparison of a signer's copy with its
// original, on trees made here: the digest's order and coverage, the
// signature's check, and the words a difference is named in.
#include "CompoundFileReader.h"
#include "CompoundTrees.h"
#include "MsiStreamName.h"
#include "PackageSignature.h"
#include "SamePackage.h"
#include "Sha256.h"
#include "TestSignature.h"

#include <gtest/gtest.h>

namespace {

const std::u16string digitalSignature = u"\x05" u"DigitalSignature";

CompoundStream ownedStream(const std::u16string& name, const std::string& bytes) {
    return CompoundStream{name, std::make_shared<OwnedBytes>(std::vector<uint8_t>(bytes.begin(), bytes.end())), {}};
}

// The tree with a test signature of its digest, as a signer adds it.
CompoundStorage signedTree(CompoundStorage tree) {
    const std::vector<uint8_t> signature = testPackageSignature(packageDigest(tree));
    tree.streams.push_back(CompoundStream{digitalSignature, std::make_shared<OwnedBytes>(signature), {}});
    return tree;
}

CompoundStream* streamOf(CompoundStorage& storage, const std::u16string& name) {
    for (CompoundStream& stream : storage.streams) {
        if (stream.name == name) {
            return &stream;
        }
    }
    return nullptr;
}

// The stream's bytes with one of them changed.
void changeByte(CompoundStream& stream, uint64_t at) {
    std::vector<uint8_t> bytes = stream.bytes->bytes(0, static_cast<size_t>(stream.bytes->size()));
    bytes[static_cast<size_t>(at)] ^= 0x01;
    stream.bytes = std::make_shared<OwnedBytes>(std::move(bytes));
}

} // namespace

// Windows sorts a storage's children by their names' little-endian bytes,
// the shorter first where one begins the other (not as the directory sorts
// them: "ab" before "c", U+0200 before U+0101), reads storages where they
// sort, and ends each storage with its CLSID.
TEST(PackageSignatureTest, TheDigestReadsStreamsInWindowsOrderAndEachStoragesClsidAfterThem) {
    CompoundStorage root = storageNamed(u"", 0x11);
    root.streams.push_back(ownedStream(u"c", "C"));
    root.streams.push_back(ownedStream(u"ab", "AB"));
    root.streams.push_back(ownedStream(u"\x0101", "0101"));
    root.streams.push_back(ownedStream(u"\x0200", "0200"));
    root.streams.push_back(ownedStream(u"\x05" u"MsiDigitalSignatureExtra", "kept"));
    CompoundStorage storage = storageNamed(u"b", 0x22);
    storage.streams.push_back(ownedStream(u"z", "Z"));
    root.storages.push_back(storage);

    Sha256 expected;
    const auto add = [&](const std::string& part) {
        expected.add(reinterpret_cast<const uint8_t*>(part.data()), part.size());
    };
    add("0200");
    add("0101");
    add("kept");
    add("AB");
    add("Z");
    expected.add(storage.clsid.data(), storage.clsid.size());
    add("C");
    expected.add(root.clsid.data(), root.clsid.size());
    EXPECT_EQ(Sha256::hex(expected.finish()), Sha256::hex(packageDigest(root)));

    // The signature streams at the root are not part of it.
    EXPECT_EQ(Sha256::hex(packageDigest(root)), Sha256::hex(packageDigest(signedTree(root))));
}

TEST(PackageSignatureTest, OnlyASignatureOfEveryStreamAsItIsVerifies) {
    EXPECT_FALSE(readPackageSignature(knownTree()).present);
    EXPECT_EQ("", readPackageSignature(knownTree()).problem);

    const CompoundStorage signedRoot = signedTree(knownTree());
    EXPECT_TRUE(readPackageSignature(signedRoot).valid()) << readPackageSignature(signedRoot).problem;
    // Read back from the file a writer makes of it.
    const std::vector<uint8_t> bytes = writtenBytes(signedRoot);
    const MemoryBytes file(bytes);
    const CompoundFileReader reader(file, 0, bytes.size());
    EXPECT_TRUE(readPackageSignature(reader.root()).valid()) << readPackageSignature(reader.root()).problem;

    const std::string changed = "its signature's digest is not the package's: the package was changed after it was "
                                "signed";
    CompoundStorage cabinet = signedRoot;
    changeByte(*streamOf(cabinet, u"cabinet.cab"), 69999);
    EXPECT_EQ(changed, readPackageSignature(cabinet).problem);
    CompoundStorage deep = signedRoot;
    changeByte(deep.storages[0].storages[0].streams[0], 0);
    EXPECT_EQ(changed, readPackageSignature(deep).problem);
    CompoundStorage clsid = signedRoot;
    clsid.storages[0].storages[0].clsid[3] ^= 1;
    EXPECT_EQ(changed, readPackageSignature(clsid).problem);
    CompoundStorage moved = signedRoot;
    moved.streams.push_back(ownedStream(u"Added", ""));
    moved.streams.push_back(ownedStream(u"Also", "x"));
    EXPECT_EQ(changed, readPackageSignature(moved).problem);

    // The signature value, the last bytes of the stream.
    CompoundStorage value = signedRoot;
    CompoundStream& signature = *streamOf(value, digitalSignature);
    changeByte(signature, signature.bytes->size() - 1);
    EXPECT_EQ("its signature does not verify with its certificate's key", readPackageSignature(value).problem);

    CompoundStorage junk = knownTree();
    junk.streams.push_back(ownedStream(digitalSignature, "test"));
    EXPECT_TRUE(readPackageSignature(junk).present);
    EXPECT_FALSE(readPackageSignature(junk).valid());
}

// The extended form's stream holds the digest of the entries' metadata;
// one that holds another is a package changed after it was signed.
TEST(PackageSignatureTest, AnExtendedSignatureOfOtherMetadataIsNone) {
    CompoundStorage root = signedTree(knownTree());
    root.streams.push_back(ownedStream(u"\x05" u"MsiDigitalSignatureEx", std::string(32, '\0')));
    EXPECT_EQ("its extended signature's digest is not that of its entries' names, sizes and times: the package was "
              "changed after it was signed",
              readPackageSignature(root).problem);
}

TEST(SamePackageTest, ASignedCopyDiffersOnlyInItsSignatureStreams) {
    const CompoundStorage original = knownTree();
    SignedCopy same = compareSignedCopy(original, signedTree(original));
    EXPECT_EQ("", same.difference);
    EXPECT_TRUE(same.signature.valid()) << same.signature.problem;
    CompoundStorage withEx = signedTree(original);
    withEx.streams.push_back(ownedStream(u"\x05" u"MsiDigitalSignatureEx", std::string(32, '\0')));
    EXPECT_EQ("", compareSignedCopy(original, withEx).difference);
    EXPECT_FALSE(compareSignedCopy(original, withEx).signature.valid());
    EXPECT_FALSE(compareSignedCopy(original, original).signature.present);
}

// The first stream that differs, named as the user knows it; a change to
// the string pool alone is named only when no table that uses it differs.
TEST(SamePackageTest, TheFirstDifferenceIsNamedInWords) {
    CompoundStorage original = knownTree();
    original.streams.push_back(ownedStream(MsiStreamName::encode("_StringData", true), "ProductCodeValue"));
    original.streams.push_back(ownedStream(MsiStreamName::encode("Property", true), "0123456789"));
    const auto differenceWith = [&](const std::function<void(CompoundStorage&)>& change) {
        CompoundStorage copy = original;
        change(copy);
        return compareSignedCopy(original, signedTree(copy)).difference;
    };
    EXPECT_EQ("the table Property differs", differenceWith([](CompoundStorage& copy) {
                  changeByte(*streamOf(copy, MsiStreamName::encode("_StringData", true)), 3);
                  changeByte(*streamOf(copy, MsiStreamName::encode("Property", true)), 9);
              }));
    EXPECT_EQ("the table Property differs", differenceWith([](CompoundStorage& copy) {
                  *streamOf(copy, MsiStreamName::encode("_StringData", true)) =
                      ownedStream(MsiStreamName::encode("_StringData", true), "ProductCodeValueARPSYSTEMCOMPONENT");
                  *streamOf(copy, MsiStreamName::encode("Property", true)) =
                      ownedStream(MsiStreamName::encode("Property", true), "0123456789ab");
              }));
    EXPECT_EQ("the table _StringData differs", differenceWith([](CompoundStorage& copy) {
                  changeByte(*streamOf(copy, MsiStreamName::encode("_StringData", true)), 0);
              }));
    EXPECT_EQ("the summary information differs", differenceWith([](CompoundStorage& copy) {
                  changeByte(*streamOf(copy, u"\x05SummaryInformation"), 50);
              }));
    EXPECT_EQ("the stream cabinet.cab differs", differenceWith([](CompoundStorage& copy) {
                  changeByte(*streamOf(copy, u"cabinet.cab"), 65536);
              }));
    EXPECT_EQ("the stream deep in the storage inner in the storage 1031.mst differs",
              differenceWith([](CompoundStorage& copy) { changeByte(copy.storages[0].storages[0].streams[0], 4999); }));
    EXPECT_EQ("the CLSID of the storage inner in the storage 1031.mst differs",
              differenceWith([](CompoundStorage& copy) { copy.storages[0].storages[0].clsid[0] ^= 1; }));
    EXPECT_EQ("the stream Mini is missing", differenceWith([](CompoundStorage& copy) {
                  copy.streams.erase(copy.streams.begin() + 6);
              }));
    EXPECT_EQ("the stream Added was added",
              differenceWith([](CompoundStorage& copy) { copy.streams.push_back(ownedStream(u"Added", "")); }));
    EXPECT_EQ("the storage Nothing is missing",
              differenceWith([](CompoundStorage& copy) { copy.storages.pop_back(); }));
}
