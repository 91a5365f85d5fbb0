#include "Resources.h"
#include "RecordingLogAppender.h"
#include "TestSupport.h"
#include "WinDll.h"
#include "WinErrorHandling.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

namespace {

const std::string sampleBytes("sample bytes\0\1\2", 15);

HMODULE self() { return SysInfo::getCurrentModuleHandle(); }

TEST(ResourcesTest, ReadsAResourceByNameInAnyCase) {
    const Resource sample(L"sample", RT_RCDATA, self());
    EXPECT_TRUE(sample.available());
    EXPECT_EQ(sampleBytes.size(), sample.size());
    const std::vector<uint8_t> bytes = sample.bytes();
    EXPECT_EQ(sampleBytes, std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(0, memcmp(sampleBytes.data(), sample.rawData(), sampleBytes.size()));
    EXPECT_TRUE(Resource(3, RT_RCDATA, self()).available());
    EXPECT_FALSE(Resource(L"ABSENT", RT_RCDATA, self()).available());
}

TEST(ResourcesTest, KeepsItsOwnCopyOfTheName) {
    tstring name = L"SAMPLE";
    const Resource sample(name.c_str(), RT_RCDATA, self());
    name.assign(L"XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX");
    EXPECT_EQ(sampleBytes.size(), sample.size());
}

TEST(ResourcesTest, ZeroLengthResourceGivesNothing) {
    TestDirectory dir;
    const Resource empty(L"EMPTY", RT_RCDATA, self());
    EXPECT_EQ(0u, empty.size());
    EXPECT_TRUE(empty.bytes().empty());
    empty.writeToFile(dir / L"empty.out");
    EXPECT_TRUE(exists(dir / L"empty.out"));
    EXPECT_EQ("", readFile(dir / L"empty.out"));
}

TEST(ResourcesTest, WriteToFileReplacesTheDestinationAndLeavesNoStagingFile) {
    TestDirectory dir;
    const tstring destination = dir.file(L"out.bin", "old content, longer than the new");
    Resource(L"SAMPLE", RT_RCDATA, self()).writeToFile(destination);
    EXPECT_EQ(sampleBytes, readFile(destination));
    EXPECT_EQ(std::vector<tstring>{L"out.bin"}, listDirectory(dir.path()));
}

TEST(ResourcesTest, MissingResourceNamesNameAndType) {
    TestDirectory dir;
    const auto extract = [&] { Resource(L"msi", RT_RCDATA, self()).writeToFile(dir / L"main.msi"); };
    EXPECT_TRUE(startsWith(failureOf<VkError<SysError>>(extract),
                           "cannot find resource (name='msi', type='#10'). System error ["));
    EXPECT_TRUE(listDirectory(dir.path()).empty());
    EXPECT_TRUE(startsWith(failureOf([] { Resource(3, RT_ICON, self()).size(); }),
                           "cannot find resource (name='#3', type='#3')"));
}

TEST(ResourcesTest, StringsComeFromTheirBlock) {
    EXPECT_EQ(L"first of block two", StringResource(16, self()).string());
    EXPECT_EQ(L"seventeen", StringResource(17, self()).string());
    EXPECT_EQ(L"twenty", StringResource(20, self()).string());
    // An unused entry of an existing block is empty.
    EXPECT_EQ(L"", StringResource(18, self()).string());
}

TEST(ResourcesTest, MissingStringGivesTheDefaultAndALogRecord) {
    RecordingLogAppender log;
    EXPECT_EQ(L"No description", StringResource(1000, self()).string(std::nothrow, L"No description"));
    const auto errors = log.messages(LogLevel::Error);
    ASSERT_EQ(1u, errors.size());
    EXPECT_TRUE(contains(errors[0], L"cannot find resource (name='#1000', type='#6')"));
    EXPECT_THROW(StringResource(1000, self()).string(), VkError<SysError>);
}

// A resource whose entry claims more than its section holds (a damaged
// download, a changed file): nothing is read beyond it, whether the module
// runs or is only mapped as data.
TEST(ResourcesTest, DamagedResourceIsRefusedNotReadPastItsEnd) {
    TestDirectory dir;
    const tstring setup = siblingProgram(L"velkin-setup-demo.exe");
    // Past the end of the resource section, and far past the image.
    for (const uint32_t extra : {65536u, 100000000u}) {
        const Dll damaged(Dll::Data{}, damagedSetupCopy(setup, dir / L"damaged.exe", extra));
        const Resource package(L"MSI", RT_RCDATA, damaged.module());
        EXPECT_TRUE(package.available());
        EXPECT_TRUE(package.damaged()) << extra;
        EXPECT_TRUE(contains(failureOf([&] { package.bytes(); }),
                             "resource (name='MSI', type='#10') is damaged: it claims "));
    }
    EXPECT_FALSE(Resource(L"MSI", RT_RCDATA, Dll(Dll::Data{}, setup).module()).damaged());
    EXPECT_FALSE(Resource(L"sample", RT_RCDATA, self()).damaged());
}

} // namespace
