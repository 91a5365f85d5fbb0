#include "ModuleFile.h"
#include "ModuleImage.h"
#include "Resources.h"
#include "StagedFileWriter.h"
#include "TestSupport.h"
#include "WinErrorHandling.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

namespace {

HMODULE self() { return SysInfo::getCurrentModuleHandle(); }

// Only the file that the image was loaded from is read, however it is named:
// a copy at another path, however alike, is not (as where a setup is renamed
// while it runs and another file put in its place).
TEST(ModuleFileTest, OnlyTheFileTheImageCameFromIsRead) {
    TestDirectory dir;
    const tstring own = SysInfo::getCurrentModulePath();
    EXPECT_TRUE(ModuleFile::open(self()).has_value());
    EXPECT_TRUE(ModuleFile::open(self(), L"\\\\?\\" + own).has_value()) << "the same file, named otherwise";
    EXPECT_FALSE(ModuleFile::open(self(), dir.copy(own, L"copy.exe")).has_value());
    EXPECT_FALSE(ModuleFile::open(self(), dir / L"absent.exe").has_value());
}

TEST(ModuleFileTest, CopiesWhatTheImageHoldsAndNothingOutsideItsSections) {
    TestDirectory dir;
    const std::optional<ModuleFile> file = ModuleFile::open(self());
    ASSERT_TRUE(file.has_value());
    const Resource sample(L"SAMPLE", RT_RCDATA, self());
    StagedFileWriter writer(dir / L"sample.bin");
    file->copyTo(writer, sample.rawData(), sample.size());
    writer.finish();
    const std::vector<uint8_t> bytes = sample.bytes();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), readFile(dir / L"sample.bin"));

    // The headers lie in no section.
    StagedFileWriter headers(dir / L"headers.bin");
    EXPECT_THROW(file->copyTo(headers, ModuleImage::base(self()), 64), VkError<SysError>);
}

} // namespace
