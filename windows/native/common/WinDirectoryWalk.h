#pragma once

#include "tstrings.h"

#include <new>

namespace FileUtils {

// Told of each entry of a walk with its full path; answers false to stop.
class DirectoryCallback {
public:
    virtual ~DirectoryCallback() = default;
    virtual bool visitFile(const tstring& path);
    virtual bool visitDirectory(const tstring& path);
};

// Walks the entries directly inside `directory` whose names match `pattern`
// (the system's wildcards, which also look at short names), in the system's
// order, "." and ".." left out. A missing directory reported as "file not
// found" is an empty walk; any other listing failure throws.
void iterateDirectory(const tstring& directory, DirectoryCallback& callback,
                      const tstring& pattern = L"*");

// Collects the paths below a root, each directory before its contents.
// Directory links are listed but never descended into.
class DirectoryIterator : public DirectoryCallback {
public:
    explicit DirectoryIterator(const tstring& root) : root_(root) {}

    DirectoryIterator& descend(bool value) { descend_ = value; return *this; }
    DirectoryIterator& collectFiles(bool value) { collectFiles_ = value; return *this; }
    DirectoryIterator& collectDirectories(bool value) { collectDirectories_ = value; return *this; }

    // Appends what it collected to `out` and forgets it.
    DirectoryIterator& collectPaths(tstring_array& out);

    bool visitFile(const tstring& path) override;
    bool visitDirectory(const tstring& path) override;

private:
    bool descend_ = true;
    bool collectFiles_ = true;
    bool collectDirectories_ = true;
    tstring root_;
    tstring_array items_;
};

// The plain files directly inside `directory`; subdirectories stay.
void deleteFilesInDirectory(const tstring& directory);
bool deleteFilesInDirectory(const tstring& directory, const std::nothrow_t&);
// Everything below `directory`, then the directory itself. A directory link
// is removed itself; what it points to is never touched.
void deleteDirectoryRecursive(const tstring& directory);
bool deleteDirectoryRecursive(const tstring& directory, const std::nothrow_t&);
// Everything below `directory`; the directory itself stays. False when
// anything is left, or when `directory` is a link (nothing is touched then).
bool emptyDirectory(const tstring& directory, const std::nothrow_t&);

} // namespace FileUtils
