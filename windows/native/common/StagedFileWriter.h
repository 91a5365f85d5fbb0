#pragma once

#include "DeferredDeleter.h"
#include "UniqueHandles.h"
#include "tstrings.h"

#include <cstddef>

// Writes a file's new content to a sibling staging file and moves it over the
// destination only once complete: an interrupted save leaves the destination
// as it was and no staging file behind. Every failure carries the system's
// reason (a full disk reads as such) and the path.
class StagedFileWriter {
public:
    explicit StagedFileWriter(const tstring& destination);

    StagedFileWriter& write(const void* data, size_t size);
    void finish();

private:
    // Declaration order is destruction order in reverse: the file is closed
    // before the deleter removes it.
    tstring stagingPath_;
    DeferredDeleter cleanup_;
    UniqueHandle file_;
    tstring destination_;
};
