#include "ErrorHandling.h"
#include "NativeText.h"
#include "PackFiles.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>

namespace {

std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* listing = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(listing)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(listing);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Until it is published, an output is nowhere to be seen, and a staged
// output that is given up leaves nothing; published, it replaces what was
// there, and nothing else appears beside it.
TEST(PackFilesTest, AnOutputAppearsWholeOrNotAtAll) {
    ScratchDirectory dir;
    {
        StagedOutput abandoned(dir / "app-setup.exe");
        abandoned.write(0, "half", 4);
        EXPECT_EQ(std::vector<std::string>{}, namesIn(dir.path()));
    }
    EXPECT_EQ(std::vector<std::string>{}, namesIn(dir.path()));

    writeBytes(dir / "app-setup.exe", bytesOf("an older setup"));
    writeBytes(dir / "source.bin", bytesOf("0123456789"));
    {
        StagedOutput output(dir / "app-setup.exe");
        output.write(0, "new:", 4);
        output.copy(InputFile(dir / "source.bin"), 2, 4, 6);
        EXPECT_EQ(bytesOf("an older setup"), readBytes(dir / "app-setup.exe"));
        EXPECT_EQ(bytesOf("new:234567"), output.bytes(0, 10));
        output.publish();
    }
    EXPECT_EQ(bytesOf("new:234567"), readBytes(dir / "app-setup.exe"));
    EXPECT_EQ((std::vector<std::string>{"app-setup.exe", "source.bin"}), namesIn(dir.path()));
}

TEST(PackFilesTest, FailuresNameTheFileAndTheSystemsReason) {
    ScratchDirectory dir;
    const auto failure = [](auto action) -> std::string {
        try {
            action();
        } catch (const VkErrorBase& e) {
            return e.originalMessage();
        }
        return "no failure";
    };
    EXPECT_EQ("Cannot write to the directory of " + toNative(dir / "absent/app-setup.exe") +
                  ": No such file or directory",
              failure([&] { StagedOutput(dir / "absent/app-setup.exe"); }));
    EXPECT_EQ("Cannot read " + toNative(dir / "absent.msi") + ": No such file or directory",
              failure([&] { InputFile(dir / "absent.msi"); }));
    writeBytes(dir / "short.bin", bytesOf("abc"));
    EXPECT_EQ("Cannot read " + toNative(dir / "short.bin") + ": it ends before 5 bytes",
              failure([&] { InputFile(dir / "short.bin").bytes(1, 4); }));
}

} // namespace
