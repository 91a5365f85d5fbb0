// The staging owner: the destination changes only at finish(), and nothing
// else is left beside it, whatever happens before: a failure, a failed
// publish, the process killed.
#include "StagedFileWriter.h"
#include "TestSupport.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

const wchar_t* const destinationVariable = L"VELKIN_TEST_STAGED_DESTINATION";

// Everything in `directory` but `destination`'s own name.
std::vector<tstring> besideDestination(const tstring& directory, const tstring& destination) {
    std::vector<tstring> names = listDirectory(directory);
    names.erase(std::remove(names.begin(), names.end(), FileUtils::leafName(destination)), names.end());
    return names;
}

std::string readBack(const StagedFileWriter& writer, size_t size) {
    std::string content(size, '\0');
    OVERLAPPED start{};
    DWORD read = 0;
    EXPECT_TRUE(::ReadFile(writer.file(), content.data(), static_cast<DWORD>(size), &read, &start));
    content.resize(read);
    return content;
}

TEST(StagedFileWriterTest, FinishReplacesTheDestination) {
    TestDirectory dir;
    const tstring destination = dir.file(L"out.bin", "old");
    const std::string content("new\0bytes\r\n", 11);
    StagedFileWriter(destination).write(content.data(), 5).write(content.data() + 5, 6).finish();
    EXPECT_EQ(content, readFile(destination));
    EXPECT_EQ(std::vector<tstring>{L"out.bin"}, listDirectory(dir.path()));
}

// Until finish(), the one new file is the staging file beside the
// destination, named as the private directories are; it reads back what was
// written wherever it went.
TEST(StagedFileWriterTest, StagingFileLiesBesideTheDestinationUntilFinished) {
    TestDirectory dir;
    const tstring destination = dir.file(L"out.bin", "old");
    StagedFileWriter writer(destination);
    writer.write("abc", 3).writeAt(1, "X", 1);
    writer.write("d", 1);
    const std::vector<tstring> staging = besideDestination(dir.path(), destination);
    ASSERT_EQ(1u, staging.size());
    EXPECT_EQ(dir / staging[0], writer.stagingPath());
    EXPECT_TRUE(FileUtils::isTempName(staging[0], L"velkin-", L".tmp")) << tstrings::toUtf8(staging[0]);
    EXPECT_EQ("aXcd", readBack(writer, 8));
    EXPECT_EQ("old", readFile(destination));
    writer.finish();
    EXPECT_EQ("aXcd", readFile(destination));
    EXPECT_THROW(writer.write("y", 1), VkError<std::runtime_error>);
}

// The content reaches the system in pieces: at, below and beyond a piece's
// size, and written again from an offset across several, the file holds the
// bytes in their order.
TEST(StagedFileWriterTest, ContentAcrossPiecesIsWrittenByteForByte) {
    TestDirectory dir;
    const size_t piece = StagedFileWriter::pieceSize;
    const auto pattern = [](size_t size, uint32_t seed) {
        std::string bytes(size, '\0');
        for (char& byte : bytes) {
            seed ^= seed << 13;
            seed ^= seed >> 17;
            seed ^= seed << 5;
            byte = static_cast<char>(seed);
        }
        return bytes;
    };
    const std::string content = pattern(3 * piece + 17, 2463534242u);
    for (const size_t size : {piece - 1, piece, piece + 1, content.size()}) {
        const tstring destination = dir / L"out.bin";
        StagedFileWriter(destination).write(content.data(), size).finish();
        EXPECT_TRUE(readFile(destination) == content.substr(0, size)) << size << " bytes";
    }

    const std::string overwrite = pattern(2 * piece + 3, 88675123u);
    StagedFileWriter writer(dir / L"at.bin");
    writer.write(content.data(), content.size()).writeAt(7, overwrite.data(), overwrite.size());
    writer.finish();
    std::string expected = content;
    expected.replace(7, overwrite.size(), overwrite);
    EXPECT_TRUE(readFile(dir / L"at.bin") == expected);
}

TEST(StagedFileWriterTest, UnfinishedOrUnpublishableWriterLeavesNothing) {
    TestDirectory dir;
    const tstring destination = dir.file(L"out.bin", "old");
    StagedFileWriter(destination).write("partial", 7);
    EXPECT_EQ("old", readFile(destination));
    EXPECT_EQ(std::vector<tstring>{L"out.bin"}, listDirectory(dir.path()));

    // A directory in the destination's place: the publish fails, and the
    // staging file still goes with the writer.
    const tstring taken = dir.directory(L"taken");
    EXPECT_TRUE(startsWith(failureOf<VkError<SysError>>([&] {
                               StagedFileWriter(taken).write("x", 1).finish();
                           }),
                           "SetFileInformationByHandle(" + tstrings::toUtf8(dir.path()) + "\\velkin-"));
    EXPECT_EQ((std::vector<tstring>{L"out.bin", L"taken"}), listDirectory(dir.path()));
}

TEST(StagedFileWriterTest, MissingDirectoryIsRefusedWithTheSystemsReason) {
    TestDirectory dir;
    const tstring missing = dir / L"missing";
    const std::string failure = failureOf([&] { StagedFileWriter(missing + L"\\out.bin"); });
    EXPECT_TRUE(startsWith(failure, "Cannot create a file in " + tstrings::toUtf8(missing) +
                                        ": CreateFile(" + tstrings::toUtf8(missing) + "\\velkin-"));
    EXPECT_TRUE(contains(failure, "System error [3]"));
    EXPECT_TRUE(listDirectory(dir.path()).empty());
}

// Runs as the child of KilledWriterLeavesNothing: writes part of a file and
// waits to be ended, after saying so with a file beside it.
TEST(StagedFileWriterChild, WritesUntilEnded) {
    const tstring destination = environmentValue(destinationVariable);
    ASSERT_FALSE(destination.empty()) << "run only as the child of another test";
    StagedFileWriter writer(destination);
    writer.write("partial", 7);
    std::ofstream(FileUtils::joinPath(FileUtils::parentPath(destination), L"written").c_str());
    ::Sleep(30000);
}

// Killed, as Task Manager or a deployment tool's time-out ends a process:
// no destructor runs, and the system still removes the staging file.
TEST(StagedFileWriterTest, KilledWriterLeavesNothing) {
    TestDirectory dir;
    const tstring destination = dir.file(L"out.bin", "old");
    ChildProcess child(siblingProgram(L"velkin-windows-tests.exe"),
                       L"--gtest_filter=StagedFileWriterChild.WritesUntilEnded",
                       {{destinationVariable, destination}});
    for (int waited = 0; waited < 20000 && !exists(dir / L"written") && child.running(); waited += 10) {
        ::Sleep(10);
    }
    ASSERT_TRUE(exists(dir / L"written")) << child.finish().output;
    ASSERT_EQ(3u, listDirectory(dir.path()).size()) << "the staging file is there while it runs";
    child.kill();
    EXPECT_EQ((std::vector<tstring>{L"out.bin", L"written"}), listDirectory(dir.path()));
    EXPECT_EQ("old", readFile(destination));
}

} // namespace
