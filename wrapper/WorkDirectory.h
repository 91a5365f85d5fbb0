#pragma once

#include "DeferredDeleter.h"
#include "DirectoryLock.h"
#include "tstrings.h"

#include <cstddef>
#include <optional>

// The setup's private directory for one run, in the temporary directory:
// "velkin-", 16 random hexadecimal digits and ".tmp", so that its path has the
// same length on every run and a sweep of leftovers can tell it from what
// other programs make. It is locked from the moment it exists until the run
// ends (and for as long as a child that the lock is passed to runs), and
// removed with everything in it when the object goes.
class WorkDirectory {
public:
    // `packageLevels` folders below the directory hold the package (see
    // Transforms).
    WorkDirectory(const tstring& tempDir, size_t packageLevels);

    WorkDirectory(const WorkDirectory&) = delete;
    WorkDirectory& operator=(const WorkDirectory&) = delete;

    const tstring& packageFolder() const { return packageFolder_; }
    // A path of the length and form of packageFolder() for these arguments,
    // before anything exists: what the package's path will be decides
    // whether a run can go on, and that is known before anything is written.
    static tstring packageFolderLike(const tstring& tempDir, size_t packageLevels);
    void* lockHandle() const { return lock_->handle(); }

    // The system's wildcards for the names, which also match others.
    static tstring namePattern();
    static bool isName(const tstring& name);

private:
    // Destroyed in reverse: the lock is released before the clean-up, which
    // could not remove a locked directory.
    DeferredDeleter cleanup_;
    tstring path_;
    std::optional<DirectoryLock> lock_;
    tstring packageFolder_;
};
