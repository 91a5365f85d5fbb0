#include "WorkDirectory.h"

#include "PathUtils.h"
#include "WinFileUtils.h"

namespace {

// Long enough for a scanner to let go of the package it looked at, short
// enough that nobody waits on a run that is over.
constexpr uint32_t cleanupRetryMilliseconds = 3000;

tstring packageFolderIn(const tstring& directory, size_t packageLevels) {
    tstring folder = directory;
    for (size_t level = 0; level < packageLevels; ++level) {
        folder = FileUtils::joinPath(folder, L"p");
    }
    return folder;
}

} // namespace

tstring WorkDirectory::packageFolderLike(const tstring& tempDir, size_t packageLevels) {
    return packageFolderIn(LockedTempDirectory::pathLike(tempDir), packageLevels);
}

WorkDirectory::WorkDirectory(const tstring& tempDir, size_t packageLevels)
    : directory_(tempDir, cleanupRetryMilliseconds), packageFolder_(packageFolderIn(directory_.path(), packageLevels)) {
    if (packageLevels > 0) {
        FileUtils::createDirectories(packageFolder_);
    }
}
