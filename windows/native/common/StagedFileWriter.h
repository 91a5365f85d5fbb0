#pragma once

#include "UniqueHandles.h"
#include "tstrings.h"

#include <cstddef>
#include <cstdint>

// The one way to write a file where others will use it: the content goes to
// a staging file beside the destination, and the destination gets it only at
// finish(), once it is complete (and checked, where the caller reads it
// back). Until then the destination stays as it was; a failure, or the end of
// the process however it comes, leaves no staging file behind. Failures are
// SysErrors that name the file and carry the system's reason (a full disk
// reads as such).
class StagedFileWriter {
public:
    // The staging file is named as FileUtils::velkinTempPrefix says, in the
    // destination's directory, which must exist.
    explicit StagedFileWriter(const tstring& destination);
    ~StagedFileWriter();

    StagedFileWriter(const StagedFileWriter&) = delete;
    StagedFileWriter& operator=(const StagedFileWriter&) = delete;

    // The most that one call hands the system. Linux caches a write in
    // pieces as large as the write (up to 2 MiB), and pieces that large come
    // from the blocks of free memory that a virtual machine may have given
    // back to its host: filling them then costs a host fault per page, and a
    // 512 MiB package written at once took two to three times as long as a
    // copy right after another program had written and deleted as much.
    // Pieces well below that size are filled from memory that the machine
    // holds; much smaller ones cost more calls.
    static constexpr size_t pieceSize = 1024 * 1024;

    // Appends.
    StagedFileWriter& write(const void* data, size_t size);
    void writeAt(uint64_t offset, const void* data, size_t size);

    const tstring& stagingPath() const { return stagingPath_; }
    // For reading back what has been written; none after finish().
    HANDLE file() const { return file_.get(); }

    // Replaces an existing destination.
    void finish();

private:
    void checkOpen() const;

    tstring destination_;
    tstring stagingPath_;
    UniqueHandle file_;
    uint64_t end_ = 0;
};
