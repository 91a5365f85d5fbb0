#pragma once

#include "DeferredDeleter.h"
#include "DirectoryLock.h"
#include "tstrings.h"

#include <cstdint>
#include <optional>

// A program's private directory for one run, in the temporary directory,
// named as everything Velkin's programs make for a while (see
// FileUtils::velkinTempPrefix): its path has the same length on every run,
// and the sweep below tells it from what other programs make. It is locked
// from the moment it exists until the object goes (and for as long as a
// child that the lock is passed to runs), then removed with everything in
// it. The setup keeps its package here, velkin-pack.exe what its reader and
// its signer read.
class LockedTempDirectory {
public:
    // What cannot be removed at the end (another program holds it) is tried
    // again for `cleanupRetryMilliseconds`.
    explicit LockedTempDirectory(const tstring& tempDir, uint32_t cleanupRetryMilliseconds = 0);

    LockedTempDirectory(const LockedTempDirectory&) = delete;
    LockedTempDirectory& operator=(const LockedTempDirectory&) = delete;

    const tstring& path() const { return path_; }
    HANDLE lockHandle() const { return lock_->handle(); }

    // A path of the length and form of path(), before anything exists.
    static tstring pathLike(const tstring& tempDir);

private:
    // Destroyed in reverse: the lock is released before the clean-up, which
    // could not remove a locked directory.
    DeferredDeleter cleanup_;
    tstring path_;
    std::optional<DirectoryLock> lock_;
};

// Removes what runs ended hard (a setup killed while extracting or while
// msiexec ran, a velkin-pack.exe killed while reading or signing) left in
// `tempDir`: the directories of LockedTempDirectory that the current user
// owns and that no program holds. Directories of other users, of other
// programs, links and everything held stay. Never fails the run: what cannot
// go stays for a later one, and the reason goes to the log.
void sweepLeftovers(const tstring& tempDir);
