#include "CompoundFileReader.h"
#include "DamagedFile.h"
#include "MsiDatabase.h"
#include "MsiStreamName.h"
#include "OpenPackage.h"
#include "TestFiles.h"
#include "TransformBuilder.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(TransformBuilderTest, ChangesWhatTheVariantChangesAndNothingElse) {
    const OpenPackage base("language-1033.msi");
    const OpenPackage german("language-1031.msi");
    const TransformSides sides{base.database, german.database, L"base.msi", L"german.msi"};
    const TransformContents transform = buildTransform(sides, transformSummary(sides));
    const std::set<std::string> tables(transform.changedTables.begin(), transform.changedTables.end());
    for (const char* changed : {"_Tables", "_Columns", "Property", "Registry", "Binary", "Glossary", "File",
                                "Media"}) {
        EXPECT_TRUE(tables.count(changed)) << changed;
    }
    for (const char* kept : {"Feature", "Directory", "Component", "InstallExecuteSequence", "_Streams"}) {
        EXPECT_FALSE(tables.count(kept)) << kept;
    }
    EXPECT_EQ(transformClsid, transform.storage.clsid);
    // The changed Binary row's stream and the variant's cabinet travel with
    // it, and its own summary; no stream the two packages share unchanged.
    std::set<std::string> streams;
    for (const CompoundStream& stream : transform.storage.streams) {
        bool isTable = false;
        const std::string name = MsiStreamName::decode(stream.name, isTable);
        if (!isTable) {
            streams.insert(name);
        }
    }
    EXPECT_EQ((std::set<std::string>{"\x05SummaryInformation", "Binary.Banner", "language-1031.cab"}), streams);
}

TEST(TransformBuilderTest, SummarySaysWhichProductAndLanguagesItJoins) {
    const OpenPackage base("language-1033.msi");
    const OpenPackage french("language-1036.msi");
    const TransformSides sides{base.database, french.database, L"base.msi", L"french.msi"};
    const SummaryInformation summary = transformSummary(sides);
    const std::string code = base.database.property("ProductCode");
    EXPECT_EQ(code + "2.1.0;" + code + "2.1.0;" + base.database.property("UpgradeCode"),
              summary.text(SummaryInformation::RevisionNumber));
    EXPECT_EQ("Intel;1033", summary.text(SummaryInformation::Template));
    EXPECT_EQ("Intel;1036", summary.text(SummaryInformation::LastSavedBy));
    // Language, product and upgrade code checked; no error suppressed.
    EXPECT_EQ(0x08030000, summary.integers.at(SummaryInformation::CharacterCount));
}

TEST(TransformBuilderTest, SameInputsGiveTheSameTransform) {
    const OpenPackage base("language-1033.msi");
    const OpenPackage german("language-1031.msi");
    const TransformSides sides{base.database, german.database, L"base.msi", L"german.msi"};
    const auto names = [](const TransformContents& contents) {
        std::vector<std::u16string> list;
        std::vector<uint64_t> sizes;
        for (const CompoundStream& stream : contents.storage.streams) {
            list.push_back(stream.name);
            sizes.push_back(stream.bytes->size());
        }
        return std::make_pair(list, sizes);
    };
    EXPECT_EQ(names(buildTransform(sides, transformSummary(sides))),
              names(buildTransform(sides, transformSummary(sides))));
}

TEST(TransformBuilderTest, RefusesWhatNoLanguageVariantDoes) {
    const OpenPackage base("language-1033.msi");
    const OpenPackage german("language-1031.msi");
    const auto refusal = [](const MsiDatabase& from, const MsiDatabase& to) {
        const TransformSides sides{from, to, L"from.msi", L"to.msi"};
        try {
            buildTransform(sides, transformSummary(sides));
        } catch (const VkError<std::runtime_error>& e) {
            return std::string(e.originalMessage());
        }
        return std::string("built");
    };
    EXPECT_EQ("to.msi lacks the table Glossary that from.msi has: a language variant keeps every table of its "
              "product",
              refusal(german.database, base.database));
    EXPECT_EQ("from.msi and to.msi hold the same tables and streams: there is nothing to transform",
              refusal(base.database, base.database));
    const OpenPackage otherType("language-glossint.msi");
    EXPECT_NE(std::string::npos, refusal(german.database, otherType.database).find("is of type 7936 in from.msi and of type 5378 in to.msi"));
    const OpenPackage otherKey("language-glosskey.msi");
    EXPECT_NE(std::string::npos, refusal(german.database, otherKey.database).find("has 1 key columns"));
}

} // namespace
