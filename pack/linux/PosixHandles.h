#pragma once

#include "PackFiles.h"

// The descriptors behind velkin-pack's files, for a reader that opens them by
// their /proc/self/fd paths.
int descriptorOf(const InputFile& input);
int descriptorOf(const StagedOutput& output);

// A private copy of `size` bytes of `source` from `offset` on, in a file of
// the temporary directory (TMPDIR) that has no name, or loses it at once: no
// other process can find it, and nothing stays when this process ends.
// Throws TemporaryFileError when the directory takes no such file.
class TemporaryCopy {
public:
    TemporaryCopy(const InputFile& source, uint64_t offset, uint64_t size);
    ~TemporaryCopy();

    TemporaryCopy(const TemporaryCopy&) = delete;
    TemporaryCopy& operator=(const TemporaryCopy&) = delete;

    int descriptor() const { return fd_; }

private:
    int fd_ = -1;
};
