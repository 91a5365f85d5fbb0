#include "DeferredDeleter.h"
#include "RecordingLogAppender.h"
#include "TestSupport.h"
#include "WinDirectoryWalk.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

using namespace FileUtils;

size_t indexOf(const tstring_array& items, const tstring& item) {
    return static_cast<size_t>(std::find(items.begin(), items.end(), item) - items.begin());
}

tstring_array sorted(tstring_array items) {
    std::sort(items.begin(), items.end());
    return items;
}

// a\f1, a\b\f2, a\b\c\ (empty), f0
void makeTree(const TestDirectory& dir) {
    dir.file(L"a\\f1");
    dir.file(L"a\\b\\f2");
    dir.directory(L"a\\b\\c");
    dir.file(L"f0");
}

class CountingCallback : public DirectoryCallback {
public:
    explicit CountingCallback(bool goOn) : goOn_(goOn) {}
    bool visitFile(const tstring&) override { ++calls; return goOn_; }
    bool visitDirectory(const tstring&) override { ++calls; return goOn_; }
    int calls = 0;

private:
    bool goOn_;
};

TEST(WinDirectoryWalkTest, EmptyAndMissingDirectories) {
    TestDirectory dir;
    CountingCallback callback(true);
    iterateDirectory(dir.directory(L"empty"), callback);
    EXPECT_EQ(0, callback.calls);
    const tstring missing = dir / L"missing\\deeper";
    EXPECT_TRUE(startsWith(failureOf<VkError<SysError>>([&] { iterateDirectory(missing, callback); }),
                           "FindFirstFile(" + tstrings::toUtf8(missing) + ") failed"));
}

TEST(WinDirectoryWalkTest, FalseFromTheCallbackEndsTheWalk) {
    TestDirectory dir;
    makeTree(dir);
    CountingCallback callback(false);
    iterateDirectory(dir.path(), callback);
    EXPECT_EQ(1, callback.calls);
}

TEST(WinDirectoryWalkTest, IteratorListsEachDirectoryBeforeItsContents) {
    TestDirectory dir;
    makeTree(dir);
    tstring_array all{L"already there"};
    DirectoryIterator(dir.path()).collectPaths(all);
    ASSERT_EQ(7u, all.size());
    EXPECT_EQ(L"already there", all[0]);
    EXPECT_EQ(sorted({L"already there", dir / L"a", dir / L"a\\f1", dir / L"a\\b",
                      dir / L"a\\b\\f2", dir / L"a\\b\\c", dir / L"f0"}),
              sorted(all));
    EXPECT_LT(indexOf(all, dir / L"a"), indexOf(all, dir / L"a\\b"));
    EXPECT_LT(indexOf(all, dir / L"a"), indexOf(all, dir / L"a\\f1"));
    EXPECT_LT(indexOf(all, dir / L"a\\b"), indexOf(all, dir / L"a\\b\\f2"));
    EXPECT_LT(indexOf(all, dir / L"a\\b"), indexOf(all, dir / L"a\\b\\c"));
}

TEST(WinDirectoryWalkTest, IteratorHonoursItsFlags) {
    TestDirectory dir;
    makeTree(dir);
    tstring_array files;
    DirectoryIterator(dir.path()).collectDirectories(false).collectPaths(files);
    EXPECT_EQ(sorted({dir / L"a\\f1", dir / L"a\\b\\f2", dir / L"f0"}), sorted(files));

    tstring_array top;
    DirectoryIterator(dir.path()).descend(false).collectPaths(top);
    EXPECT_EQ(sorted({dir / L"a", dir / L"f0"}), sorted(top));

    tstring_array directories;
    DirectoryIterator(dir.path()).collectFiles(false).collectPaths(directories);
    EXPECT_EQ(sorted({dir / L"a", dir / L"a\\b", dir / L"a\\b\\c"}), sorted(directories));

    tstring_array none;
    DirectoryIterator(dir / L"f0").collectPaths(none);
    DirectoryIterator(dir / L"missing").collectPaths(none);
    EXPECT_TRUE(none.empty());
}

TEST(WinDirectoryWalkTest, RecursiveDeletionRemovesTreesWithReadOnlyFiles) {
    TestDirectory dir;
    makeTree(dir);
    ASSERT_TRUE(::SetFileAttributesW((dir / L"a\\b\\f2").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(deleteDirectoryRecursive(dir / L"a", std::nothrow));
    EXPECT_FALSE(exists(dir / L"a"));
    EXPECT_EQ(std::vector<tstring>{L"f0"}, listDirectory(dir.path()));

    EXPECT_TRUE(deleteDirectoryRecursive(dir / L"missing", std::nothrow));
    EXPECT_NO_THROW(deleteDirectoryRecursive(dir / L"missing"));
    EXPECT_FALSE(deleteDirectoryRecursive(dir / L"f0", std::nothrow));
    EXPECT_TRUE(exists(dir / L"f0"));
}

TEST(WinDirectoryWalkTest, RecursiveDeletionLeavesWhatItCannotDeleteAndItsAncestors) {
    TestDirectory dir;
    makeTree(dir);
    const tstring busy = dir / L"a\\b\\f2";
    // Open without delete sharing: the file cannot go while we hold it.
    const HANDLE held = ::CreateFileW(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const bool deleted = deleteDirectoryRecursive(dir / L"a", std::nothrow);
    ::CloseHandle(held);
    EXPECT_FALSE(deleted);
    EXPECT_TRUE(exists(busy));
    EXPECT_FALSE(exists(dir / L"a\\f1"));
    EXPECT_FALSE(exists(dir / L"a\\b\\c"));
}

TEST(WinDirectoryWalkTest, FilesInDirectoryLeavesSubdirectories) {
    TestDirectory dir;
    makeTree(dir);
    deleteFilesInDirectory(dir / L"a");
    EXPECT_EQ(std::vector<tstring>{L"b"}, listDirectory(dir / L"a"));
    EXPECT_TRUE(exists(dir / L"a\\b\\f2"));
    EXPECT_TRUE(deleteFilesInDirectory(dir / L"a\\b", std::nothrow));
    EXPECT_EQ(std::vector<tstring>{L"c"}, listDirectory(dir / L"a\\b"));
}

// A directory link inside a tree, made by the test fixture as a Unix symbolic
// link (Wine shows it as a directory with a reparse point). VELKIN_LINK_FIXTURE
// is the Unix path of a directory holding "tree\plain.txt", "tree\link" ->
// "target", and "target\precious".
class DirectoryLinkTest : public testing::Test {
protected:
    void SetUp() override {
        const char* fixture = std::getenv("VELKIN_LINK_FIXTURE");
        if (!fixture || !*fixture) {
            GTEST_SKIP() << "VELKIN_LINK_FIXTURE not set";
        }
        // A Unix path: Wine shows the whole Unix file system as drive Z.
        root = L"Z:" + tstrings::fromUtf8(fixture);
        std::replace(root.begin(), root.end(), L'/', L'\\');
        ASSERT_TRUE(isDirectoryLink(root + L"\\tree\\link"));
        ASSERT_TRUE(exists(root + L"\\target\\precious"));
    }

    tstring root;
};

TEST_F(DirectoryLinkTest, IteratorListsTheLinkButDoesNotFollowIt) {
    tstring_array items;
    DirectoryIterator(root + L"\\tree").collectPaths(items);
    EXPECT_EQ(1u, std::count(items.begin(), items.end(), root + L"\\tree\\link"));
    for (const tstring& item : items) {
        EXPECT_FALSE(contains(item, L"precious"));
    }
}

TEST_F(DirectoryLinkTest, RecursiveDeletionNeverReachesBehindALink) {
    deleteDirectoryRecursive(root + L"\\tree", std::nothrow);
    EXPECT_TRUE(exists(root + L"\\target\\precious"));
    EXPECT_FALSE(exists(root + L"\\tree\\plain.txt"));
    deleteDirectoryRecursive(root + L"\\tree\\link", std::nothrow);
    EXPECT_TRUE(exists(root + L"\\target\\precious"));
}

// "own-tree\sub" holds "plain.txt" and "file-link" -> "target\outside.txt",
// which Wine shows as a plain file, and deletes when that is deleted: the
// setup's own directory goes as this tree does.
TEST_F(DirectoryLinkTest, FileLinkLeadsNowhereOutsideTheTree) {
    const tstring outside = root + L"\\target\\outside.txt";
    const tstring link = root + L"\\own-tree\\sub\\file-link";
    ASSERT_TRUE(exists(link));
    RecordingLogAppender log;
    EXPECT_FALSE(deleteFile(link, std::nothrow));
    {
        DeferredDeleter deleter;
        deleter.scheduleDirectoryTree(root + L"\\own-tree");
    }
    EXPECT_EQ("outside\n", readFile(outside));
    EXPECT_FALSE(exists(root + L"\\own-tree\\sub\\plain.txt"));
    EXPECT_TRUE(exists(link));
    const std::vector<tstring> warnings = log.messages(LogLevel::Warning);
    EXPECT_TRUE(std::any_of(warnings.begin(), warnings.end(), [&](const tstring& message) {
        return startsWith(message, L"Left [" + link + L"] linked to ");
    }));
}

TEST(DeferredDeleterTest, RunsFilesThenTreesThenEmptyDirectories) {
    TestDirectory dir;
    const tstring holder = dir.directory(L"holder");
    const tstring file = dir.file(L"holder\\file.txt");
    const tstring tree = dir.directory(L"holder\\tree");
    dir.file(L"holder\\tree\\inner\\x.txt");
    {
        DeferredDeleter deleter;
        // Scheduled in the worst order: as an empty directory the holder can
        // only go once its file and its tree have gone.
        deleter.scheduleEmptyDirectory(holder).scheduleDirectoryTree(tree).scheduleFile(file);
        deleter.scheduleFile(file);
    }
    EXPECT_TRUE(listDirectory(dir.path()).empty());
}

TEST(DeferredDeleterTest, CancelForgetsEverything) {
    TestDirectory dir;
    const tstring file = dir.file(L"keep.txt");
    {
        DeferredDeleter deleter;
        deleter.scheduleFile(file).scheduleDirectoryTree(dir.path());
        deleter.cancel();
    }
    EXPECT_TRUE(exists(file));
}

} // namespace
