#pragma once

#include "LockedTempDirectory.h"
#include "tstrings.h"

#include <cstddef>

// The setup's private directory for one run (a LockedTempDirectory, whose
// lock msiexec inherits), with the folders that hold the package.
class WorkDirectory {
public:
    // `packageLevels` folders below the directory hold the package (see
    // Transforms).
    WorkDirectory(const tstring& tempDir, size_t packageLevels);

    const tstring& packageFolder() const { return packageFolder_; }
    // A path of the length and form of packageFolder() for these arguments,
    // before anything exists: what the package's path will be decides
    // whether a run can go on, and that is known before anything is written.
    static tstring packageFolderLike(const tstring& tempDir, size_t packageLevels);
    void* lockHandle() const { return directory_.lockHandle(); }

private:
    LockedTempDirectory directory_;
    tstring packageFolder_;
};
