#pragma once

#include "DeferredDeleter.h"
#include "DirectoryLock.h"
#include "tstrings.h"

#include <optional>

// velkin-pack.exe's private directory for the copy of a setup's package that
// the reader reads (msi.dll reads only a file of its own), in the temporary
// directory: "velkin-pack-", 16 hexadecimal digits and ".tmp". It is locked
// from the moment it exists and removed with its contents when the object
// goes. Made, it first removes what runs that were ended hard left: such
// directories, owned by the current user, that no running velkin-pack.exe
// holds.
class ReaderDirectory {
public:
    // In the temporary directory `tempDir`.
    explicit ReaderDirectory(const tstring& tempDir);

    ReaderDirectory(const ReaderDirectory&) = delete;
    ReaderDirectory& operator=(const ReaderDirectory&) = delete;

    const tstring& path() const { return path_; }

private:
    // Destroyed in reverse: the lock is released before the clean-up, which
    // could not remove a locked directory.
    DeferredDeleter cleanup_;
    tstring path_;
    std::optional<DirectoryLock> lock_;
};
