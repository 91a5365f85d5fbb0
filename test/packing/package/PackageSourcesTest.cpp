#include "ErrorHandling.h"
#include "PackageSources.h"

#include <gtest/gtest.h>

namespace {

// Compressed by default, two disks in one embedded cabinet each.
RawPackageFacts embedded() {
    RawPackageFacts facts;
    facts.wordCount = 2;
    facts.disks = {{9, L"#second.cab"}, {3, L"#first.cab"}};
    for (int i = 1; i <= 9; ++i) {
        facts.files.push_back({L"F" + std::to_wstring(i) + L"~1.TXT|file" + std::to_wstring(i) + L".txt", 0, i});
    }
    return facts;
}

std::string refusal(const RawPackageFacts& facts) {
    try {
        requireEmbeddedSources(facts, L"app.msi");
    } catch (const VkErrorBase& e) {
        return e.originalMessage();
    }
    return "accepted";
}

TEST(PackageSourcesTest, EmbeddedCabinetsAreAccepted) { EXPECT_EQ("accepted", refusal(embedded())); }

TEST(PackageSourcesTest, SourcesOutsideThePackageAreNamed) {
    RawPackageFacts external = embedded();
    external.disks[0].cabinet = L"second.cab";
    EXPECT_NE(std::string::npos, refusal(external).find("keeps its cabinet second.cab outside itself"));

    RawPackageFacts loose = embedded();
    loose.files[2].attributes = 0x2000;
    EXPECT_NE(std::string::npos, refusal(loose).find("keeps 1 file uncompressed outside itself (file3.txt)"));

    // Uncompressed by default: every file not marked compressed.
    RawPackageFacts plain = embedded();
    plain.wordCount = 0;
    for (RawPackageFacts::File& file : plain.files) {
        file.attributes = file.sequence > 2 ? 0x4000 : 0;
    }
    EXPECT_NE(std::string::npos, refusal(plain).find("keeps 2 files uncompressed outside itself (file1.txt, file2.txt)"));

    RawPackageFacts noCabinet = embedded();
    noCabinet.disks[1].cabinet.clear();
    EXPECT_NE(std::string::npos,
              refusal(noCabinet).find("keeps 3 files uncompressed outside itself (file1.txt, file2.txt, file3.txt)"));
}

// Names of tens of thousands of characters are cut short in the message,
// which stays one line a terminal shows whole.
TEST(PackageSourcesTest, LongNamesAreCutShort) {
    RawPackageFacts external = embedded();
    external.disks[0].cabinet = tstring(60000, L'c');
    const std::string cabinet = refusal(external);
    EXPECT_NE(std::string::npos, cabinet.find(" keeps its cabinet " + std::string(256, 'c') + "... outside itself"));
    EXPECT_LT(cabinet.size(), 600u);

    RawPackageFacts loose = embedded();
    loose.files[0].attributes = 0x2000;
    loose.files[0].fileName = L"SHORT~1.TXT|" + tstring(60000, L'f');
    EXPECT_NE(std::string::npos, refusal(loose).find("(" + std::string(256, 'f') + "...): "));
}

// A file beyond the last disk's sequence, or in a package with no Media
// table, has no source msiexec can find.
TEST(PackageSourcesTest, FilesOnNoDiskAreRefused) {
    RawPackageFacts beyond = embedded();
    beyond.files.push_back({L"late.txt", 0, 10});
    EXPECT_NE(std::string::npos, refusal(beyond).find("has 1 file on no disk of its Media table (late.txt)"));

    RawPackageFacts noMedia = embedded();
    noMedia.disks.clear();
    EXPECT_NE(std::string::npos, refusal(noMedia).find(
                                     "has 9 files on no disk of its Media table (file1.txt, file2.txt, file3.txt, "
                                     "file4.txt, file5.txt and 4 more)"));
}

} // namespace
