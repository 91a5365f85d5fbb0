#include "ReaderDirectory.h"

#include "ErrorHandling.h"
#include "PathUtils.h"
#include "PrivateDirectorySecurity.h"
#include "WinDirectoryWalk.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WindowsApi.h"

namespace {

const tstring namePrefix = L"velkin-pack-";
const tstring nameSuffix = L".tmp";

// Another run's sweep may claim a directory in the moment between its
// creation and its lock, and then removes it: the next name is tried.
constexpr int lockAttempts = 10;

class Leftovers : public FileUtils::DirectoryCallback {
public:
    bool visitDirectory(const tstring& path) override {
        if (FileUtils::isTempName(FileUtils::leafName(path), namePrefix, nameSuffix) &&
            !FileUtils::isDirectoryLink(path)) {
            found.push_back(path);
        }
        return true;
    }

    tstring_array found;
};

// What cannot go now (held, another user's, in use by a reader that is still
// ending) stays for a later run; the sweep never fails the run.
void sweepLeftovers(const tstring& tempDir) {
    Leftovers leftovers;
    try {
        FileUtils::iterateDirectory(tempDir, leftovers, namePrefix + L"*" + nameSuffix);
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
    for (const tstring& path : leftovers.found) {
        try {
            std::optional<DirectoryLock> claim = DirectoryLock::take(path, DirectoryLock::Purpose::Remove);
            if (claim && isOwnedByCurrentUser(claim->handle()) && FileUtils::emptyDirectory(path, std::nothrow)) {
                claim->releaseAndRemove(path);
            }
        }
        VK_LOG_AND_SWALLOW(VK_HERE)
    }
}

} // namespace

ReaderDirectory::ReaderDirectory(const tstring& tempDir) {
    sweepLeftovers(tempDir);
    for (int attempt = 0; !lock_ && attempt < lockAttempts; ++attempt) {
        path_ = FileUtils::createTempDirectory(namePrefix, nameSuffix, tempDir);
        // Also one that could not be locked: whatever held it may let go.
        cleanup_.scheduleDirectoryTree(path_);
        lock_ = DirectoryLock::take(path_, DirectoryLock::Purpose::Use);
    }
    if (!lock_) {
        VK_THROW_LAST_ERROR(::CreateFileW, "Cannot lock the directory " << path_);
    }
}
