#pragma once

#include "UniqueHandles.h"
#include "tstrings.h"

#include <optional>
#include <utility>

// An open handle on a directory. While a lock lives, nobody can remove or
// rename the directory, and a directory in use (`Use`) cannot be claimed for
// removal (`Remove`), nor a claimed one be put to use or claimed again,
// whichever came first. What is inside stays free to list, make
// and delete. A child process that inherits the handle holds the lock too,
// for as long as it runs.
class DirectoryLock {
public:
    enum class Purpose { Use, Remove };

    // Nothing when the directory is locked for the other purpose (or is
    // gone, or is not a directory); GetLastError tells which. A link is
    // locked as itself, never followed.
    static std::optional<DirectoryLock> take(const tstring& path, Purpose purpose);

    // The handle on the directory, for a child process to inherit
    // (Executor::passHandle).
    HANDLE handle() const { return handle_.get(); }

    // Releases the lock and removes the directory, which must be empty. A
    // claimed directory cannot be put to use in between: its maker, the one
    // setup that ever uses it, has already failed to lock it or is gone.
    void releaseAndRemove(const tstring& path);

private:
    explicit DirectoryLock(UniqueHandle handle) : handle_(std::move(handle)) {}

    UniqueHandle handle_;
};
