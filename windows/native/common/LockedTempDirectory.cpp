#include "LockedTempDirectory.h"

#include "ErrorHandling.h"
#include "Log.h"
#include "PathUtils.h"
#include "PrivateDirectorySecurity.h"
#include "WinDirectoryWalk.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WindowsApi.h"

namespace {

// Another run's sweep may claim a directory in the moment between its
// creation and its lock, and then removes it: the next name is tried.
constexpr int lockAttempts = 10;

class Leftovers : public FileUtils::DirectoryCallback {
public:
    bool visitDirectory(const tstring& path) override {
        if (FileUtils::isTempName(FileUtils::leafName(path), FileUtils::velkinTempPrefix,
                                  FileUtils::velkinTempSuffix) &&
            !FileUtils::isDirectoryLink(path)) {
            found.push_back(path);
        }
        return true;
    }

    tstring_array found;
};

void removeLeftover(const tstring& path) {
    // A running program, or the child it passed its lock to, holds its
    // directory: the claim fails, and once it succeeds nobody can take the
    // directory.
    std::optional<DirectoryLock> claim = DirectoryLock::take(path, DirectoryLock::Purpose::Remove);
    if (!claim || !isOwnedByCurrentUser(claim->handle()) ||
        !FileUtils::emptyDirectory(path, std::nothrow)) {
        return;
    }
    claim->releaseAndRemove(path);
    VK_TRACE("Removed [" << path << "] left by a run that was ended");
}

} // namespace

LockedTempDirectory::LockedTempDirectory(const tstring& tempDir, uint32_t cleanupRetryMilliseconds) {
    cleanup_.retryFor(cleanupRetryMilliseconds);
    for (int attempt = 0; !lock_ && attempt < lockAttempts; ++attempt) {
        path_ = FileUtils::createTempDirectory(FileUtils::velkinTempPrefix, FileUtils::velkinTempSuffix, tempDir);
        // Also one that could not be locked: whatever held it may let go.
        cleanup_.scheduleDirectoryTree(path_);
        lock_ = DirectoryLock::take(path_, DirectoryLock::Purpose::Use);
    }
    if (!lock_) {
        VK_THROW_LAST_ERROR(::CreateFileW, "Cannot lock the directory " << path_);
    }
}

tstring LockedTempDirectory::pathLike(const tstring& tempDir) {
    return FileUtils::joinPath(tempDir, FileUtils::tempName(FileUtils::velkinTempPrefix, FileUtils::velkinTempSuffix));
}

void sweepLeftovers(const tstring& tempDir) {
    Leftovers leftovers;
    try {
        FileUtils::iterateDirectory(tempDir, leftovers,
                                    FileUtils::velkinTempPrefix + L"*" + FileUtils::velkinTempSuffix);
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
    for (const tstring& path : leftovers.found) {
        try {
            removeLeftover(path);
        }
        VK_LOG_AND_SWALLOW(VK_HERE)
    }
}
