#include "DirectoryLock.h"
#include "TestSupport.h"
#include "WinDirectoryWalk.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>


namespace {

using Purpose = DirectoryLock::Purpose;

bool canTake(const tstring& path, Purpose purpose) {
    return DirectoryLock::take(path, purpose).has_value();
}

// Whichever comes first, a directory in use cannot be claimed for removal,
// and one claimed cannot be put to use; nobody can remove or rename either.
TEST(DirectoryLockTest, UseAndRemovalExcludeEachOther) {
    TestDirectory dir;
    const tstring locked = dir.directory(L"locked");
    const tstring renamed = dir / L"renamed";
    for (const Purpose first : {Purpose::Use, Purpose::Remove}) {
        const std::optional<DirectoryLock> lock = DirectoryLock::take(locked, first);
        ASSERT_TRUE(lock);
        EXPECT_FALSE(canTake(locked, Purpose::Remove));
        EXPECT_FALSE(canTake(locked, first == Purpose::Use ? Purpose::Remove : Purpose::Use));
        EXPECT_FALSE(::RemoveDirectoryW(locked.c_str()));
        EXPECT_FALSE(::MoveFileW(locked.c_str(), renamed.c_str()));
        // What is inside stays free to use.
        const tstring inside = dir.file(L"locked\\inside.txt");
        EXPECT_TRUE(::DeleteFileW(inside.c_str()));
    }
    EXPECT_TRUE(canTake(locked, Purpose::Use));
    EXPECT_TRUE(canTake(locked, Purpose::Remove));
    EXPECT_FALSE(canTake(dir.file(L"plain.txt"), Purpose::Remove));
    EXPECT_FALSE(canTake(dir / L"missing", Purpose::Remove));
}

TEST(DirectoryLockTest, ClaimedDirectoryIsEmptiedAndRemoved) {
    TestDirectory dir;
    const tstring claimed = dir.directory(L"claimed");
    dir.file(L"claimed\\sub\\file.txt");
    {
        std::optional<DirectoryLock> claim = DirectoryLock::take(claimed, Purpose::Remove);
        ASSERT_TRUE(claim);
        ASSERT_TRUE(FileUtils::emptyDirectory(claimed, std::nothrow));
        claim->releaseAndRemove(claimed);
    }
    EXPECT_EQ(std::vector<tstring>{}, listDirectory(dir.path()));
}

} // namespace
