#include "ByteSource.h"
#include "ErrorHandling.h"
#include "Extractor.h"
#include "NativeText.h"
#include "PackFiles.h"
#include "PeChecksum.h"
#include "PeHeaders.h"
#include "SetupFile.h"
#include "SetupKeys.h"
#include "SetupWriter.h"
#include "SetupStub.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

std::vector<ResourceData> stubResourcesAnd(const SetupStub& stub, const std::string& productCode) {
    std::vector<ResourceData> resources;
    for (const ResourceEntry& entry : stub.resources()) {
        resources.push_back(ResourceData{entry.key, stub.data(entry), entry.codePage});
    }
    resources.push_back(ResourceData{SetupKeys::productCode(),
                                     std::vector<uint8_t>(productCode.begin(), productCode.end()), 0});
    return resources;
}

class SetupWriterTest : public testing::Test {
protected:
    SetupWriterTest() : stub_{InputFile(stubPath()), stubPath()} {}

    std::vector<uint8_t> pack(const tstring& package, const std::string& name) {
        return pack(package, name, stubResourcesAnd(stub_, code_));
    }

    std::vector<uint8_t> pack(const tstring& package, const std::string& name,
                              const std::vector<ResourceData>& resources) {
        const InputFile input(package);
        const SetupWriter layout(stub_, resources, SetupKeys::package(), input.size());
        StagedOutput output(dir_ / name);
        PackageChecksum packageSum(input);
        layout.copyPackage(output, input);
        layout.writeAround(output, packageSum);
        output.publish();
        return readBytes(dir_ / name);
    }

    SetupStub stub_;
    const std::string code_ = "{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}";
    ScratchDirectory dir_;
};

// Every header field that moves is where the sections now are, the bytes
// before the resources and the base relocations themselves are the stub's,
// the CheckSum is the file's, and the tree leads to the package whole.
TEST_F(SetupWriterTest, HeadersDescribeTheFileAndTheTreeLeadsToThePackage) {
    const std::vector<uint8_t> package = readBytes(packagePath("demo.msi"));
    const std::vector<uint8_t> setup = pack(packagePath("demo.msi"), "setup.exe");
    const PeHeaders headers{MemoryBytes(setup)};
    const PeHeaders stubHeaders = stub_.headers();
    const size_t rsrc = stub_.resourceSection();
    const std::vector<PeSection>& sections = headers.sections();
    ASSERT_EQ(rsrc + 2, sections.size());

    const PeSection& relocations = sections[rsrc + 1];
    const PeSection& stubRelocations = stubHeaders.sections()[rsrc + 1];
    EXPECT_EQ(0u, relocations.virtualAddress % headers.sectionAlignment());
    EXPECT_EQ(sections[rsrc].rawEnd(), relocations.pointerToRawData);
    EXPECT_EQ(relocations.virtualAddress - stubRelocations.virtualAddress,
              headers.directory(PeHeaders::Relocations).rva - stubHeaders.directory(PeHeaders::Relocations).rva);
    EXPECT_TRUE(std::equal(setup.begin() + relocations.pointerToRawData, setup.begin() + relocations.rawEnd(),
                           stub_.bytes().begin() + stubRelocations.pointerToRawData));
    EXPECT_TRUE(std::equal(setup.begin() + headers.bytes().size(), setup.begin() + sections[rsrc].pointerToRawData,
                           stub_.bytes().begin() + headers.bytes().size()));
    EXPECT_EQ((relocations.virtualAddress + relocations.virtualSize + 0xFFFu) & ~0xFFFu, headers.sizeOfImage());
    EXPECT_EQ(relocations.rawEnd(), setup.size());

    uint32_t initialized = 0;
    for (const PeSection& section : sections) {
        initialized += (section.characteristics & PeHeaders::initializedData) ? section.sizeOfRawData : 0;
    }
    EXPECT_EQ(initialized, headers.sizeOfInitializedData());
    uint32_t stubInitialized = 0;
    for (const PeSection& section : stubHeaders.sections()) {
        stubInitialized += (section.characteristics & PeHeaders::initializedData) ? section.sizeOfRawData : 0;
    }
    EXPECT_EQ(stubHeaders.sizeOfInitializedData(), stubInitialized) << "the linker counts as the writer does";

    std::vector<uint8_t> cleared = setup;
    LittleEndian::put32(&cleared[headers.checksumOffset()], 0);
    PeChecksum checksum;
    checksum.add(0, cleared.data(), cleared.size());
    EXPECT_EQ(checksum.finish(cleared.size()), headers.checksum());

    const SetupFile file(MemoryBytes(setup), L"setup.exe");
    EXPECT_EQ(code_, file.productCode());
    ASSERT_EQ(package.size(), file.packageSize());
    EXPECT_TRUE(std::equal(package.begin(), package.end(), setup.begin() + file.packageOffset()));
}

// The package is copied to its place before the other resources' data is
// known: data of any size under the same keys leaves the package where
// packagePlace put it, and the tree written leads there.
TEST_F(SetupWriterTest, ThePackagesPlaceDependsOnTheKeysAndItsSizeAlone) {
    std::vector<ResourceData> grown = stubResourcesAnd(stub_, std::string(70000, 'x'));
    for (ResourceData& resource : grown) {
        resource.bytes.resize(resource.bytes.size() + 4099, 0x5A);
    }
    const std::vector<ResourceData> empty = stubResourcesAnd(stub_, "");
    const std::vector<ResourceKey> keys = resourceKeys(empty, SetupKeys::package());
    const tstring package = packagePath("demo.msi");
    const uint64_t place = SetupWriter::packagePlace(stub_, keys, InputFile(package).size());
    for (const std::vector<ResourceData>& resources : {empty, grown}) {
        const std::vector<uint8_t> setup = pack(package, "setup.exe", resources);
        EXPECT_EQ(place, SetupFile(MemoryBytes(setup), L"setup.exe").packageOffset());
    }
    // A large package starts at a multiple of 64 KiB, whatever the data.
    const uint64_t large = uint64_t{5} << 20;
    const uint64_t largePlace = SetupWriter::packagePlace(stub_, keys, large);
    EXPECT_EQ(0u, largePlace % (64 * 1024));
    EXPECT_EQ(largePlace, SetupWriter(stub_, grown, SetupKeys::package(), large).packageOffset());
}

TEST_F(SetupWriterTest, TheSameInputsGiveTheSameBytes) {
    EXPECT_EQ(pack(packagePath("demo.msi"), "first.exe"), pack(packagePath("demo.msi"), "second.exe"));
}

// The largest package keeps the image below 2 GiB; one byte more would not.
TEST_F(SetupWriterTest, TheLimitIsExact) {
    const std::vector<ResourceData> resources = stubResourcesAnd(stub_, code_);
    const uint64_t largest = SetupWriter(stub_, resources, SetupKeys::package(), 0).largestPackage();
    EXPECT_GT(largest, uint64_t{2000} * 1024 * 1024);
    EXPECT_LT(SetupWriter(stub_, resources, SetupKeys::package(), largest).imageSize(), uint64_t{1} << 31);
    EXPECT_GE(SetupWriter(stub_, resources, SetupKeys::package(), largest + 1).imageSize(), uint64_t{1} << 31);
}

// A package resource shorter than any package is refused, as inspect
// refuses it, and nothing is written; the shortest there can be is taken out.
TEST_F(SetupWriterTest, ExtractRefusesAPackageTooShortToBeOneOrNoCompoundFile) {
    for (const size_t size : {size_t{1}, size_t{1535}, size_t{1536}}) {
        writeBytes(dir_ / "package.bin", std::vector<uint8_t>(size, 0xD0));
        pack(dir_ / "package.bin", "setup.exe");
        std::string failure;
        try {
            extract(dir_ / "setup.exe", dir_ / "out.msi");
        } catch (const VkErrorBase& e) {
            failure = e.originalMessage();
        }
        if (size < 1536) {
            EXPECT_EQ(toNative(dir_ / "setup.exe") + " is a Velkin setup executable whose package cannot be read: its " +
                          std::to_string(size) + " bytes are fewer than any Windows Installer package has",
                      failure);
            EXPECT_NE(0, ::access(toNative(dir_ / "out.msi").c_str(), F_OK));
        } else {
            // Long enough, but no compound file: published no more than
            // the shorter ones.
            EXPECT_EQ(toNative(dir_ / "setup.exe") + " is a Velkin setup executable whose package cannot be read: "
                                                     "it does not start as a compound file does",
                      failure);
            EXPECT_NE(0, ::access(toNative(dir_ / "out.msi").c_str(), F_OK));
        }
    }
    pack(packagePath("demo.msi"), "setup.exe");
    extract(dir_ / "setup.exe", dir_ / "out.msi");
    EXPECT_EQ(readBytes(packagePath("demo.msi")), readBytes(dir_ / "out.msi"));
}

} // namespace
