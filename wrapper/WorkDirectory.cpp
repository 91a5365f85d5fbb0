#include "WorkDirectory.h"

#include "ErrorHandling.h"
#include "PathUtils.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WindowsApi.h"

namespace {

const tstring namePrefix = L"velkin-";
const tstring nameSuffix = L".tmp";

// Long enough for a scanner to let go of the package it looked at, short
// enough that nobody waits on a run that is over.
constexpr uint32_t cleanupRetryMilliseconds = 3000;

// A sweep of another setup may claim a directory in the moment between its
// creation and its lock, and then removes it: the next name is tried.
constexpr int lockAttempts = 10;

tstring packageFolderIn(const tstring& directory, size_t packageLevels) {
    tstring folder = directory;
    for (size_t level = 0; level < packageLevels; ++level) {
        folder = FileUtils::joinPath(folder, L"p");
    }
    return folder;
}

} // namespace

tstring WorkDirectory::packageFolderLike(const tstring& tempDir, size_t packageLevels) {
    return packageFolderIn(FileUtils::joinPath(tempDir, FileUtils::tempName(namePrefix, nameSuffix)),
                           packageLevels);
}

tstring WorkDirectory::namePattern() { return namePrefix + L"*" + nameSuffix; }

bool WorkDirectory::isName(const tstring& name) {
    return FileUtils::isTempName(name, namePrefix, nameSuffix);
}

WorkDirectory::WorkDirectory(const tstring& tempDir, size_t packageLevels) {
    cleanup_.retryFor(cleanupRetryMilliseconds);
    for (int attempt = 0; !lock_ && attempt < lockAttempts; ++attempt) {
        path_ = FileUtils::createTempDirectory(namePrefix, nameSuffix, tempDir);
        // Also one that could not be locked: whatever held it may let go.
        cleanup_.scheduleDirectoryTree(path_);
        lock_ = DirectoryLock::take(path_, DirectoryLock::Purpose::Use);
    }
    if (!lock_) {
        VK_THROW_LAST_ERROR(::CreateFileW, "Cannot lock the directory " << path_);
    }
    packageFolder_ = packageFolderIn(path_, packageLevels);
    if (packageLevels > 0) {
        FileUtils::createDirectories(packageFolder_);
    }
}
