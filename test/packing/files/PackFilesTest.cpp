#include "ErrorHandling.h"
#include "InputChecks.h"
#include "NativeText.h"
#include "PackFiles.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace {

// Staging as on a file system without unnamed files, for the life of a test.
class NamedStaging {
public:
    NamedStaging() { ::setenv("VELKIN_PACK_STAGING", "named", 1); }
    ~NamedStaging() { ::unsetenv("VELKIN_PACK_STAGING"); }
};

std::vector<std::string> stagingFilesIn(const std::string& directory) {
    std::vector<std::string> names = namesIn(directory);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& name) { return name.rfind(".velkin-pack-", 0) != 0; }),
                names.end());
    return names;
}

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
    const auto failure = [](auto action) { return failureOf(action); };
    EXPECT_EQ("Cannot write to the directory of " + toNative(dir / "absent/app-setup.exe") +
                  ": No such file or directory",
              failure([&] { StagedOutput(dir / "absent/app-setup.exe"); }));
    EXPECT_EQ("Cannot read " + toNative(dir / "absent.msi") + ": No such file or directory",
              failure([&] { InputFile(dir / "absent.msi"); }));
    writeBytes(dir / "short.bin", bytesOf("abc"));
    EXPECT_EQ("Cannot read " + toNative(dir / "short.bin") + ": it ends before 5 bytes",
              failure([&] { InputFile(dir / "short.bin").bytes(1, 4); }));
}

// A FIFO would block the first open for ever, and a device node as the
// output would be replaced by a file (as root, even /dev/null): each is
// refused by its kind, at once, as input and as output.
TEST(PackFilesTest, OnlyRegularFilesAreReadOrReplaced) {
    ScratchDirectory dir;
    const std::string fifo = toNative(dir / "fifo");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    const struct {
        tstring path;
        std::string kind;
    } cases[] = {{dir / "fifo", "a FIFO"},
                 {L"/dev/null", "a character device"},
                 {fromNative(dir.path()), "a directory"}};
    for (const auto& [path, kind] : cases) {
        const std::string shown = toNative(path);
        EXPECT_EQ("Cannot read " + shown + ": it is " + kind + ", not a regular file",
                  failureOf([&] { InputFile{path}; }));
        EXPECT_EQ("The package " + shown + " is " + kind + ", not a regular file",
                  failureOf([&] { requireInputFile(path, L"The package"); }));
        EXPECT_EQ("The output " + shown + " is " + kind + ", not a regular file",
                  failureOf([&] { StagedOutput{path}; }));
    }
}

// A package cut short by another process while it is read ends the read with
// an error naming it, never a SIGBUS: the bytes handed on stay readable.
TEST(PackFilesTest, AFileCutShortWhileReadIsAnError) {
    ScratchDirectory dir;
    writeBytes(dir / "package.msi", std::vector<uint8_t>(3 * 1024 * 1024 + 5, 0x5A));
    const InputFile input(dir / "package.msi");
    uint64_t seen = 0;
    size_t piece = 0;
    const std::string failure = failureOf([&] {
        input.visit(0, input.size(), [&](uint64_t, const uint8_t* bytes, size_t size) {
            ASSERT_EQ(0, ::truncate(toNative(dir / "package.msi").c_str(), 4096));
            seen += bytes[size - 1];
            piece = size;
        });
    });
    // The second read, of the second piece, finds the end.
    EXPECT_EQ("Cannot read " + toNative(dir / "package.msi") + ": it ends before " + std::to_string(2 * piece) +
                  " bytes",
              failure);
    EXPECT_EQ(0x5Au, seen);
}

// An output gets the mode that the umask leaves of 0666, as files that
// editors and compilers make do, whether staged unnamed or named.
TEST(PackFilesTest, OutputsHaveTheModeTheUmaskGives) {
    ScratchDirectory dir;
    for (const bool named : {false, true}) {
        for (const mode_t mask : {022, 027, 077}) {
            const std::unique_ptr<NamedStaging> staging(named ? new NamedStaging : nullptr);
            const mode_t previous = ::umask(mask);
            {
                StagedOutput output(dir / "setup.exe");
                output.write(0, "MZ", 2);
                output.publish();
            }
            ::umask(previous);
            struct stat status;
            ASSERT_EQ(0, ::stat((dir.path() + "/setup.exe").c_str(), &status));
            EXPECT_EQ(0666 & ~mask, status.st_mode & 0777) << "named " << named << ", umask " << mask;
        }
    }
}

// Where staging files have names, one given up goes at once; a run ended by
// SIGKILL leaves one, and the next run in that directory removes it, but
// never the staging file of a run still writing (which holds its lock), nor a
// file of another name.
TEST(PackFilesTest, NamedStagingFilesGoWithTheirRunOrTheNext) {
    ScratchDirectory dir;
    const NamedStaging staging;
    {
        StagedOutput abandoned(dir / "abandoned-setup.exe");
        abandoned.write(0, "half", 4);
        EXPECT_EQ(1u, stagingFilesIn(dir.path()).size());
    }
    EXPECT_EQ(std::vector<std::string>{}, namesIn(dir.path()));
    StagedOutput running(dir / "running-setup.exe");
    const std::string lost = ".velkin-pack-0123456789abcdef.tmp";
    writeBytes(dir / lost, bytesOf("left by a killed run"));
    writeBytes(dir / ".velkin-pack-notes.tmp", bytesOf("not ours"));
    const std::vector<std::string> runningFiles = stagingFilesIn(dir.path());
    ASSERT_EQ(3u, runningFiles.size());
    {
        StagedOutput next(dir / "next-setup.exe");
        next.write(0, "MZ", 2);
        next.publish();
    }
    std::vector<std::string> kept = runningFiles;
    kept.erase(std::find(kept.begin(), kept.end(), lost));
    EXPECT_EQ(kept, stagingFilesIn(dir.path()));
}

} // namespace
