#pragma once

#include "tstrings.h"

#include <vector>

// Deletes what was scheduled when it goes out of scope, however the scope is
// left: files first, then the files of directories, then directory trees,
// then empty directories; in order of scheduling within each kind. Failures
// are passed over.
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

private:
    enum class Kind { File = 0, FilesInDirectory = 1, DirectoryTree = 2, EmptyDirectory = 3 };

    struct Entry {
        tstring path;
        Kind kind;
    };

    DeferredDeleter& schedule(const tstring& path, Kind kind);

    std::vector<Entry> entries_;
};
