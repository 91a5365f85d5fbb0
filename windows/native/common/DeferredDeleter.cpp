#include "DeferredDeleter.h"

#include "ErrorHandling.h"
#include "WinDirectoryWalk.h"
#include "WinFileUtils.h"

#include <algorithm>

DeferredDeleter::~DeferredDeleter() {
    try {
        std::vector<Entry> entries;
        entries.swap(entries_);
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.kind < b.kind; });
        for (const Entry& entry : entries) {
            switch (entry.kind) {
            case Kind::File:
                FileUtils::deleteFile(entry.path, std::nothrow);
                break;
            case Kind::FilesInDirectory:
                FileUtils::deleteFilesInDirectory(entry.path, std::nothrow);
                break;
            case Kind::DirectoryTree:
                FileUtils::deleteDirectoryRecursive(entry.path, std::nothrow);
                break;
            case Kind::EmptyDirectory:
                FileUtils::deleteDirectory(entry.path, std::nothrow);
                break;
            }
        }
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
}

DeferredDeleter& DeferredDeleter::schedule(const tstring& path, Kind kind) {
    entries_.push_back(Entry{path, kind});
    return *this;
}

DeferredDeleter& DeferredDeleter::scheduleFile(const tstring& path) {
    return schedule(path, Kind::File);
}

DeferredDeleter& DeferredDeleter::scheduleFilesInDirectory(const tstring& path) {
    return schedule(path, Kind::FilesInDirectory);
}

DeferredDeleter& DeferredDeleter::scheduleDirectoryTree(const tstring& path) {
    return schedule(path, Kind::DirectoryTree);
}

DeferredDeleter& DeferredDeleter::scheduleEmptyDirectory(const tstring& path) {
    return schedule(path, Kind::EmptyDirectory);
}
