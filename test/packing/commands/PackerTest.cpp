#include "ByteSource.h"
#include "ErrorHandling.h"
#include "PackFiles.h"
#include "Packer.h"
#include "PeHeaders.h"
#include "ResourceTree.h"
#include "SetupFile.h"
#include "SetupKeys.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using LittleEndian::put32;

std::string failureOf(const PackRequest& request) {
    try {
        pack(request);
    } catch (const VkErrorBase& e) {
        return e.originalMessage();
    }
    return "packed";
}

// Moves the resource at `key` to language 0, where packing's own key (U.S.
// English) does not find it.
void moveToNeutralLanguage(std::vector<uint8_t>& program, const ResourceKey& key) {
    const PeHeaders headers{MemoryBytes(program)};
    const std::vector<ResourceEntry> entries = readResourceTree(MemoryBytes(program), headers);
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const ResourceEntry& e) { return e.key.matches(key); });
    ASSERT_NE(entries.end(), entry);
    const PeSection& section = headers.sections()[headers.sectionAt(entry->rva)];
    const auto start = program.begin() + section.pointerToRawData;
    const auto end = start + section.rawSize();
    uint8_t data[8];
    put32(data, entry->rva);
    put32(data + 4, entry->size);
    const auto dataEntry = std::search(start, end, data, data + 8);
    ASSERT_NE(end, dataEntry);
    uint8_t language[8];
    put32(language, key.language);
    put32(language + 4, static_cast<uint32_t>(dataEntry - start));
    const auto languageEntry = std::search(start, end, language, language + 8);
    ASSERT_NE(end, languageEntry);
    put32(&*languageEntry, 0);
}

class PackerTest : public testing::Test {
protected:
    PackRequest request(const tstring& stub) { return PackRequest{packagePath("demo.msi"), dir_ / "out.exe", stub, {}, {}, {}}; }

    ScratchDirectory dir_;
};

// A stub that leaves no room is named as the fault, and the output, which
// was never written, is not.
TEST_F(PackerTest, AStubWithNoRoomBelowTheLimitIsNamed) {
    std::vector<uint8_t> stub = readBytes(stubPath());
    const PeHeaders headers{MemoryBytes(stub)};
    put32(&stub[headers.sectionOffset(headers.sections().size() - 1) + 8], 0x80000000u);
    writeBytes(dir_ / "stub.exe", stub);
    EXPECT_EQ("The setup stub " + dir_.path() + "/stub.exe cannot carry a package: its image leaves no room below "
                                                "2 GiB",
              failureOf(request(dir_ / "stub.exe")));
    EXPECT_FALSE(PackFiles::exists(dir_ / "out.exe"));
}

// Its icons 1, 2 and 3 become 1, 1 and 3.
TEST_F(PackerTest, AStubWithAResourceGivenTwiceIsNamed) {
    std::vector<uint8_t> stub = readBytes(stubPath());
    const PeHeaders headers{MemoryBytes(stub)};
    const PeSection& resources = headers.sections()[headers.sectionAt(headers.directory(PeHeaders::Resources).rva)];
    const auto directoryEntry = [&](size_t at, uint32_t id) {
        return LittleEndian::get32(&stub[at]) == id && (stub[at + 7] & 0x80) != 0;
    };
    size_t at = resources.pointerToRawData;
    while (at + 16 <= resources.rawEnd() && !(directoryEntry(at, 1) && directoryEntry(at + 8, 2))) {
        at += 8;
    }
    ASSERT_LT(at + 16, resources.rawEnd());
    put32(&stub[at + 8], 1);
    writeBytes(dir_ / "stub.exe", stub);
    EXPECT_EQ("The setup stub " + dir_.path() + "/stub.exe cannot carry a package: a resource is given twice",
              failureOf(request(dir_ / "stub.exe")));
}

// A setup taken as the stub carries its package and product code in another
// language than packing writes: the new setup holds only the new ones.
TEST_F(PackerTest, AStubsOwnPackageGoesInEveryLanguage) {
    std::vector<uint8_t> stub = readBytes(stubPath().substr(0, stubPath().rfind(L'/')) + L"/velkin-setup-demo.exe");
    moveToNeutralLanguage(stub, SetupKeys::package());
    moveToNeutralLanguage(stub, SetupKeys::productCode());
    writeBytes(dir_ / "stub.exe", stub);
    PackRequest binary = request(dir_ / "stub.exe");
    binary.package = packagePath("binary.msi");
    ASSERT_EQ("packed", failureOf(binary));
    const InputFile output(dir_ / "out.exe");
    EXPECT_EQ(readBytes(binary.package).size(), SetupFile(output, output.path()).packageSize());
}

// A multilingual setup carries its list of languages; packed again as a
// stub, without --language, it leaves the list behind with its package, and
// in every language: a list would offer transforms the new package lacks.
TEST_F(PackerTest, TheListOfLanguagesComesWithLanguagesAlone) {
    PackRequest languages = request(stubPath());
    languages.package = packagePath("language-1033.msi");
    languages.languages = {packagePath("language-1031.msi"), packagePath("language-1036.msi")};
    ASSERT_EQ("packed", failureOf(languages));
    std::vector<uint8_t> stub = readBytes(dir_ / "out.exe");
    EXPECT_EQ("1033,1031,1036", SetupFile(MemoryBytes(stub), L"out.exe").languages());
    moveToNeutralLanguage(stub, SetupKeys::languages());
    writeBytes(dir_ / "stub.exe", stub);
    ASSERT_EQ("packed", failureOf(request(dir_ / "stub.exe")));
    const InputFile output(dir_ / "out.exe");
    EXPECT_EQ("", SetupFile(output, output.path()).languages());
    const PeHeaders headers{output};
    const std::vector<ResourceEntry> entries = readResourceTree(output, headers);
    EXPECT_TRUE(std::none_of(entries.begin(), entries.end(), [](const ResourceEntry& entry) {
        return entry.key.type.matches(SetupKeys::rcdata()) && entry.key.name.matches(SetupKeys::languages().name);
    }));
}

} // namespace
