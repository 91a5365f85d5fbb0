#pragma once

#include "DeferredDeleter.h"
#include "tstrings.h"

#include <cstddef>
#include <fstream>

// Writes a file's new content to a sibling staging file and moves it over the
// destination only once complete: an interrupted save leaves the destination
// as it was and no staging file behind.
class StagedFileWriter {
public:
    explicit StagedFileWriter(const tstring& destination);

    StagedFileWriter& write(const void* data, size_t size);
    void finish();

private:
    // Declaration order is destruction order in reverse: the stream closes the
    // staging file before the deleter removes it.
    tstring stagingPath_;
    DeferredDeleter cleanup_;
    std::ofstream stream_;
    tstring destination_;
};
