#pragma once

#include "tstrings.h"

#include <cstdint>
#include <vector>

// Deletes what was scheduled when it goes out of scope, however the scope is
// left: files first, then the files of directories, then directory trees,
// then empty directories; in order of scheduling within each kind. What
// cannot be deleted is tried again for as long as `retryFor` allows, then
// logged as a WARNING with what was left, and passed over.
class DeferredDeleter {
public:
    DeferredDeleter() = default;
    ~DeferredDeleter();

    DeferredDeleter(const DeferredDeleter&) = delete;
    DeferredDeleter& operator=(const DeferredDeleter&) = delete;

    DeferredDeleter& scheduleFile(const tstring& path);
    DeferredDeleter& scheduleFilesInDirectory(const tstring& path);
    DeferredDeleter& scheduleDirectoryTree(const tstring& path);
    // Removed only if empty by then.
    DeferredDeleter& scheduleEmptyDirectory(const tstring& path);

    void cancel() { entries_.clear(); }

    // Another program may hold a file open for a moment (a scanner looking at
    // a new file, say): failed deletions are retried for this long.
    DeferredDeleter& retryFor(uint32_t milliseconds) {
        retryMilliseconds_ = milliseconds;
        return *this;
    }

private:
    enum class Kind { File = 0, FilesInDirectory = 1, DirectoryTree = 2, EmptyDirectory = 3 };

    struct Entry {
        tstring path;
        Kind kind;
    };

    DeferredDeleter& schedule(const tstring& path, Kind kind);
    static bool carryOut(const Entry& entry);
    // Gives the entries that failed.
    static std::vector<Entry> carryOut(const std::vector<Entry>& entries);

    std::vector<Entry> entries_;
    uint32_t retryMilliseconds_ = 0;
};
