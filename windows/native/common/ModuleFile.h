#pragma once

#include "UniqueHandles.h"
#include "tstrings.h"

#include <cstddef>
#include <optional>

class StagedFileWriter;

// The file a module was loaded from, open for reading and shown to be the
// very file the loader mapped. Its path is not enough: by now it may name
// another file (the setup renamed and something else put in its place), and
// what is read must be what the image holds.
//
// Reading the file is the quicker way to copy a large part of the image: the
// data goes from the system's cache into one small buffer, where the mapped
// image would fault every page of it into the process first.
class ModuleFile {
public:
    // Empty where the file cannot be shown to be the module's: a module
    // loaded as data, a file that cannot be opened, or a path that names
    // another file. The reason goes to the log.
    static std::optional<ModuleFile> open(HINSTANCE__* module);
    // The same, for the file at `path`.
    static std::optional<ModuleFile> open(HINSTANCE__* module, const tstring& path);

    // Appends the `size` bytes of the image at `data`, which must lie in one
    // section's part of the file, read from the file.
    void copyTo(StagedFileWriter& writer, const void* data, size_t size) const;

private:
    ModuleFile(HINSTANCE__* module, UniqueHandle file, tstring path);

    HINSTANCE__* module_;
    UniqueHandle file_;
    tstring path_;
};
