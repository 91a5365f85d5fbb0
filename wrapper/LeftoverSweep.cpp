#include "LeftoverSweep.h"

#include "DirectoryLock.h"
#include "ErrorHandling.h"
#include "Log.h"
#include "PathUtils.h"
#include "PrivateDirectorySecurity.h"
#include "WinDirectoryWalk.h"
#include "WinFileUtils.h"
#include "WorkDirectory.h"

namespace {

class Leftovers : public FileUtils::DirectoryCallback {
public:
    bool visitDirectory(const tstring& path) override {
        if (WorkDirectory::isName(FileUtils::leafName(path)) && !FileUtils::isDirectoryLink(path)) {
            found.push_back(path);
        }
        return true;
    }

    tstring_array found;
};

void removeLeftover(const tstring& path) {
    // A running setup, or the msiexec it started, holds its directory: the
    // claim fails, and once it succeeds no setup can take the directory.
    std::optional<DirectoryLock> claim = DirectoryLock::take(path, DirectoryLock::Purpose::Remove);
    if (!claim || !isOwnedByCurrentUser(claim->handle()) ||
        !FileUtils::emptyDirectory(path, std::nothrow)) {
        return;
    }
    claim->releaseAndRemove(path);
    VK_TRACE("Removed [" << path << "] left by a setup that was ended");
}

} // namespace

void sweepLeftovers(const tstring& tempDir) {
    Leftovers leftovers;
    try {
        FileUtils::iterateDirectory(tempDir, leftovers, WorkDirectory::namePattern());
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
    for (const tstring& path : leftovers.found) {
        try {
            removeLeftover(path);
        }
        VK_LOG_AND_SWALLOW(VK_HERE)
    }
}
