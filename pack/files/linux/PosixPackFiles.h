#pragma once

#include "Descriptor.h"
#include "PackFiles.h"

// What the Linux half of PackFiles offers beyond it, for a reader that opens
// files by their /proc/self/fd paths.

// The descriptor behind an input file.
int descriptorOf(const InputFile& input);

// A private copy of `size` bytes of `source` from `offset` on, in a file of
// the temporary directory (TMPDIR) that has no name, or loses it at once: no
// other process can find it, and nothing stays when this process ends.
class TemporaryCopy {
public:
    TemporaryCopy(const InputFile& source, uint64_t offset, uint64_t size);

    int descriptor() const { return fd_.get(); }

private:
    Descriptor fd_;
};
