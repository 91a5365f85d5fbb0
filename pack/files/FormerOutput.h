#pragma once

#include "tstrings.h"

#include <memory>

// The file that an output of a set replaces, kept under a staging name
// beside it (a second link to the same file: nothing is copied) until the
// set is whole, so that a failure later in the set can put it back. Each
// host has its half.
class FormerOutput {
public:
    // Null when nothing stands at `path`. On a file system that links no
    // file twice (FAT) nothing is kept, and a failed set leaves that output
    // replaced.
    static std::unique_ptr<FormerOutput> keep(const tstring& path);
    // The kept name goes, unless the file was put back.
    ~FormerOutput();

    FormerOutput(const FormerOutput&) = delete;
    FormerOutput& operator=(const FormerOutput&) = delete;

    // The kept file at its path again, in place of what replaced it; false
    // when none was kept or the system refused.
    bool putBack();

    struct Handle;

private:
    explicit FormerOutput(std::unique_ptr<Handle> handle);

    std::unique_ptr<Handle> handle_;
};
