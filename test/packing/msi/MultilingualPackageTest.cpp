#include "CompoundFileWriter.h"
#include "DamagedFile.h"
#include "MsiStreamName.h"
#include "MultilingualPackage.h"
#include "OpenPackage.h"
#include "SummaryInformation.h"
#include "TransformBuilder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::vector<uint8_t> summaryBytes(const CompoundStorage& root) {
    const CompoundStream* stream = findStream(root, summaryInformationStream);
    EXPECT_NE(nullptr, stream);
    return stream ? stream->bytes->bytes(0, static_cast<size_t>(stream->bytes->size())) : std::vector<uint8_t>();
}

std::vector<uint8_t> written(const CompoundStorage& root) {
    std::vector<uint8_t> bytes;
    writeCompoundFile(root, [&bytes](const uint8_t* data, size_t size) { bytes.insert(bytes.end(), data, data + size); });
    return bytes;
}

std::shared_ptr<const ByteSource> owned(const std::string& text) {
    return std::make_shared<OwnedBytes>(std::vector<uint8_t>(text.begin(), text.end()));
}

// The base in English with the transforms to German and French, as
// velkin-pack makes them.
struct ThreeLanguages {
    ThreeLanguages() {
        for (const OpenPackage* variant : {&german, &french}) {
            const TransformSides sides{base.database, variant->database, L"base.msi", L"variant.msi"};
            transforms.push_back(buildTransform(sides, transformSummary(sides)).storage);
        }
    }

    MultilingualParts parts(bool dropSignature = false) const {
        return MultilingualParts{base.reader.root(), 1033, {{1031, transforms[0]}, {1036, transforms[1]}},
                                 "{0F1E2D3C-4B5A-5987-8776-655443322110}", dropSignature};
    }

    OpenPackage base{"language-1033.msi"};
    OpenPackage german{"language-1031.msi"};
    OpenPackage french{"language-1036.msi"};
    std::vector<CompoundStorage> transforms;
};

TEST(SummaryRewriteTest, KeepsEveryOtherPropertyByteForByte) {
    const OpenPackage base("language-1033.msi");
    const std::vector<uint8_t> original = summaryBytes(base.reader.root());
    // Nothing replaced: the very same bytes, times and all.
    EXPECT_EQ(original, replaceSummaryTexts(MemoryBytes(original), {}));

    const std::vector<uint8_t> rewritten = replaceSummaryTexts(
        MemoryBytes(original), {{SummaryInformation::Template, "Intel;1033,1031,1036"},
                                {SummaryInformation::RevisionNumber, "{0F1E2D3C-4B5A-5987-8776-655443322110}"}});
    SummaryInformation before = SummaryInformation::read(MemoryBytes(original));
    const SummaryInformation after = SummaryInformation::read(MemoryBytes(rewritten));
    EXPECT_EQ("Intel;1033,1031,1036", after.text(SummaryInformation::Template));
    EXPECT_EQ("{0F1E2D3C-4B5A-5987-8776-655443322110}", after.text(SummaryInformation::RevisionNumber));
    before.texts[SummaryInformation::Template] = after.text(SummaryInformation::Template);
    before.texts[SummaryInformation::RevisionNumber] = after.text(SummaryInformation::RevisionNumber);
    EXPECT_EQ(before.texts, after.texts);
    EXPECT_EQ(before.integers, after.integers);
    // Put back as they were, the bytes are the original's again: the
    // properties between (the times, which the reading above skips) moved
    // whole and came back.
    const SummaryInformation first = SummaryInformation::read(MemoryBytes(original));
    EXPECT_EQ(original, replaceSummaryTexts(MemoryBytes(rewritten),
                                            {{SummaryInformation::Template, first.text(SummaryInformation::Template)},
                                             {SummaryInformation::RevisionNumber,
                                              first.text(SummaryInformation::RevisionNumber)}}));
}

TEST(SummaryRewriteTest, AddsAPropertyTheStreamLacksAndRefusesWhatIsNoSummary) {
    SummaryInformation summary;
    summary.integers[SummaryInformation::CodePage] = 1252;
    summary.texts[SummaryInformation::Subject] = "Product";
    const std::vector<uint8_t> stream = summary.bytes();
    const SummaryInformation added =
        SummaryInformation::read(MemoryBytes(replaceSummaryTexts(MemoryBytes(stream), {{SummaryInformation::Template, "x64;1031"}})));
    EXPECT_EQ("x64;1031", added.text(SummaryInformation::Template));
    EXPECT_EQ("Product", added.text(SummaryInformation::Subject));
    EXPECT_EQ(1252, added.integers.at(SummaryInformation::CodePage));

    EXPECT_THROW(replaceSummaryTexts(MemoryBytes(std::vector<uint8_t>(40, 0)), {}), VkError<DamagedFileError>);
    std::vector<uint8_t> twoSections = stream;
    twoSections[24] = 2;
    EXPECT_THROW(replaceSummaryTexts(MemoryBytes(twoSections), {}), VkError<DamagedFileError>);
    std::vector<uint8_t> offsetOutside = stream;
    offsetOutside[48 + 12] = 0xF0;
    EXPECT_THROW(replaceSummaryTexts(MemoryBytes(offsetOutside), {}), VkError<DamagedFileError>);
}

TEST(MultilingualPackageTest, TemplateListsTheBaseFirstOnItsPlatform) {
    EXPECT_EQ("Intel;1033,1031,1036", multilingualTemplate("Intel;1033", 1033, {1031, 1036}));
    // wixl writes 1033 whatever the language: the ProductLanguage counts.
    EXPECT_EQ("x64;1031,1033", multilingualTemplate("x64;1033", 1031, {1033}));
    EXPECT_EQ("Arm64;1036", multilingualTemplate("Arm64", 1036, {}));
}

TEST(MultilingualPackageTest, NameBasedGuidIsAVersionFiveGuidOfTheDigest) {
    std::array<uint8_t, 32> digest{};
    for (size_t i = 0; i < digest.size(); ++i) {
        digest[i] = static_cast<uint8_t>(0xF0 + i);
    }
    EXPECT_EQ("{F0F1F2F3-F4F5-56F7-B8F9-FAFBFCFDFEFF}", nameBasedGuid(digest));
    digest[20] = 0;
    // What lies beyond the GUID's 16 bytes does not show.
    EXPECT_EQ("{F0F1F2F3-F4F5-56F7-B8F9-FAFBFCFDFEFF}", nameBasedGuid(digest));
    digest[0] = 0;
    EXPECT_EQ("{00F1F2F3-F4F5-56F7-B8F9-FAFBFCFDFEFF}", nameBasedGuid(digest));
}

TEST(MultilingualPackageTest, IsTheBaseWithATransformPerLanguage) {
    const ThreeLanguages inputs;
    const CompoundStorage package = multilingualPackage(inputs.parts());
    const CompoundStorage& base = inputs.base.reader.root();
    EXPECT_EQ(base.clsid, package.clsid);
    ASSERT_EQ(base.streams.size(), package.streams.size());
    for (size_t i = 0; i < base.streams.size(); ++i) {
        EXPECT_EQ(base.streams[i].name, package.streams[i].name);
        // The base's own stream, read from where the base has it.
        if (base.streams[i].name != summaryInformationStream) {
            EXPECT_EQ(base.streams[i].bytes, package.streams[i].bytes);
        }
    }
    const CompoundStorage* german = findStorage(package, u"1031");
    const CompoundStorage* french = findStorage(package, u"1036");
    ASSERT_NE(nullptr, german);
    ASSERT_NE(nullptr, french);
    EXPECT_EQ(transformClsid, german->clsid);
    EXPECT_EQ(inputs.transforms[1].streams.size(), french->streams.size());

    const SummaryInformation summary = SummaryInformation::read(*findStream(package, summaryInformationStream)->bytes);
    EXPECT_EQ("Intel;1033,1031,1036", summary.text(SummaryInformation::Template));
    EXPECT_EQ("{0F1E2D3C-4B5A-5987-8776-655443322110}", summary.text(SummaryInformation::RevisionNumber));

    // Written and read back: still an installer database with the base's
    // tables, and the same tree gives the same bytes.
    const std::vector<uint8_t> bytes = written(package);
    EXPECT_EQ(bytes, written(multilingualPackage(inputs.parts())));
    const MemoryBytes source(bytes);
    const CompoundFileReader reader(source, 0, bytes.size());
    const MsiDatabase database(reader.root());
    EXPECT_EQ(inputs.base.database.property("ProductName"), database.property("ProductName"));
    EXPECT_EQ(inputs.base.database.tables().size(), database.tables().size());
    ASSERT_NE(nullptr, findStorage(reader.root(), u"1036"));
    EXPECT_EQ(transformClsid, findStorage(reader.root(), u"1036")->clsid);
}

TEST(MultilingualPackageTest, SignatureGoesOnlyWhenAskedAndAStorageOfTheNameIsReplaced) {
    CompoundStorage base;
    SummaryInformation summary;
    summary.texts[SummaryInformation::Template] = "Intel;1033";
    base.streams.push_back(CompoundStream{summaryInformationStream, std::make_shared<OwnedBytes>(summary.bytes())});
    base.streams.push_back(CompoundStream{u"\x05" u"DigitalSignature", owned("signature")});
    base.streams.push_back(CompoundStream{u"\x05" u"MsiDigitalSignatureEx", owned("hash")});
    base.streams.push_back(CompoundStream{u"data", owned("data")});
    CompoundStorage old;
    old.name = u"1031";
    old.streams.push_back(CompoundStream{u"old", owned("old")});
    base.storages.push_back(old);
    CompoundStorage transform;
    transform.clsid = transformClsid;
    transform.streams.push_back(CompoundStream{u"new", owned("new")});

    const auto names = [](const CompoundStorage& storage) {
        std::vector<std::u16string> list;
        for (const CompoundStream& stream : storage.streams) {
            list.push_back(stream.name);
        }
        return list;
    };
    MultilingualParts parts{base, 1033, {{1031, transform}}, "{0F1E2D3C-4B5A-5987-8776-655443322110}", false};
    EXPECT_EQ(names(base), names(multilingualPackage(parts)));
    parts.dropSignature = true;
    const CompoundStorage package = multilingualPackage(parts);
    EXPECT_EQ((std::vector<std::u16string>{summaryInformationStream, u"data"}), names(package));
    ASSERT_EQ(1u, package.storages.size());
    EXPECT_EQ((std::vector<std::u16string>{u"new"}), names(package.storages[0]));
    EXPECT_TRUE(isSignatureStream(u"\x05" u"DigitalSignature"));
    EXPECT_FALSE(isSignatureStream(u"DigitalSignature"));

    base.streams.erase(base.streams.begin());
    EXPECT_THROW(multilingualPackage(parts), VkError<DamagedFileError>);
}

} // namespace
