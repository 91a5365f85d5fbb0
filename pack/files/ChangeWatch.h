#pragma once

#include "PackFiles.h"

#include <memory>

// Whether anyone writes an open input while it is watched: a package that a
// build step still writes may have other bytes for each reading of it. On
// Linux the kernel tells of every write, truncation, change of links (a
// file renamed over it) and close after writing (inotify), and the file's
// status is compared besides; on Windows an InputFile lets nobody write the
// file while it is open, and the watch has nothing to tell.
class ChangeWatch {
public:
    // Watches the file that `file` has open, whatever takes its name.
    explicit ChangeWatch(const InputFile& file);
    ~ChangeWatch();

    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // The file was written since the watch began.
    bool changed() const;

    struct Handle;

private:
    std::unique_ptr<Handle> handle_;
};
