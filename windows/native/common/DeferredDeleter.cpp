#include "DeferredDeleter.h"

#include "ErrorHandling.h"
#include "Log.h"
#include "WinDirectoryWalk.h"
#include "WinFileUtils.h"
#include "WindowsApi.h"

#include <algorithm>
#include <iterator>

namespace {

// "<path>", or for a directory what is still in it: a few paths and a count.
tstring whatIsLeft(const tstring& path) {
    tstring_array left;
    FileUtils::DirectoryIterator(path).collectDirectories(false).collectPaths(left);
    if (left.empty()) {
        return path;
    }
    constexpr size_t named = 5;
    tstrings::TextBuilder text;
    text << left.size() << " file(s) in " << path << ": ";
    text << tstrings::join(left.begin(), left.begin() + std::min(left.size(), named), L", ");
    if (left.size() > named) {
        text << ", ...";
    }
    return text.str();
}

} // namespace

DeferredDeleter::~DeferredDeleter() {
    try {
        std::vector<Entry> entries;
        entries.swap(entries_);
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.kind < b.kind; });
        std::vector<Entry> failed = carryOut(entries);
        const DWORD start = ::GetTickCount();
        DWORD pause = 50;
        while (!failed.empty() && ::GetTickCount() - start < retryMilliseconds_) {
            ::Sleep(pause);
            pause = std::min<DWORD>(pause * 2, 500);
            failed = carryOut(failed);
        }
        for (const Entry& entry : failed) {
            VK_WARNING("Could not delete " << whatIsLeft(entry.path));
        }
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
}

bool DeferredDeleter::carryOut(const Entry& entry) {
    switch (entry.kind) {
    case Kind::File:
        return FileUtils::deleteFile(entry.path, std::nothrow);
    case Kind::FilesInDirectory:
        return FileUtils::deleteFilesInDirectory(entry.path, std::nothrow);
    case Kind::DirectoryTree:
        return FileUtils::deleteDirectoryRecursive(entry.path, std::nothrow);
    case Kind::EmptyDirectory:
        return FileUtils::deleteDirectory(entry.path, std::nothrow);
    }
    return false;
}

std::vector<DeferredDeleter::Entry> DeferredDeleter::carryOut(const std::vector<Entry>& entries) {
    std::vector<Entry> failed;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(failed),
                 [](const Entry& entry) { return !carryOut(entry); });
    return failed;
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
