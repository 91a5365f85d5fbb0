#pragma once

#include "ByteSource.h"
#include "tstrings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// velkin-pack's way to the file system, the same on every host; each host
// has its half (the Linux one, and the Windows one).

// A regular file opened for reading, read at any position: anything else is
// refused before it is opened. Failures are sentences for the user that name
// the file and give the system's reason; a file that shrinks while it is
// read is such a failure, never a crash.
class InputFile : public ByteSource {
public:
    explicit InputFile(const tstring& path);
    ~InputFile() override;

    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const tstring& path() const { return path_; }
    uint64_t size() const override;
    void read(uint64_t offset, void* buffer, size_t size) const override;
    // Hands `visit` the `size` bytes from `offset` on, piece by piece, in
    // order, each with its offset in the file: to look at every byte of a
    // large file without holding it, and without copying it where the host
    // can show it in place.
    void visit(uint64_t offset, uint64_t size,
               const std::function<void(uint64_t, const uint8_t*, size_t)>& visitor) const;

    struct Handle;
    const Handle& handle() const { return *handle_; }

private:
    tstring path_;
    std::unique_ptr<Handle> handle_;
};

// An output file written where nobody sees it and given its name only when
// complete: until publish(), the output stays as it was, and a failure, or
// the end of the process however it comes, leaves no file behind.
class StagedOutput : public ByteSource {
public:
    // Throws an error for the user when the output is there but no regular
    // file (a directory, a device) or its directory takes no new file.
    explicit StagedOutput(const tstring& output);
    ~StagedOutput() override;

    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    const tstring& path() const { return output_; }

    void write(uint64_t offset, const void* data, size_t size);
    // `size` bytes of `source` from `sourceOffset` on, to `offset`.
    void copy(const InputFile& source, uint64_t sourceOffset, uint64_t offset, uint64_t size);

    // Takes room for `size` bytes on the disk now, where the file system
    // can (the output's size stays as written): a disk that cannot hold the
    // output says so before the work that comes first, such as a signature.
    void reserve(uint64_t size);

    // What has been written so far, read back from the file.
    uint64_t size() const override;
    void read(uint64_t offset, void* buffer, size_t size) const override;

    // Replaces an existing output.
    void publish();

    struct Handle;
    const Handle& handle() const { return *handle_; }

private:
    tstring output_;
    std::unique_ptr<Handle> handle_;
};

namespace PackFiles {

bool exists(const tstring& path);
bool isDirectory(const tstring& path);
// What stands at `path` (links followed) when it is there but is no regular
// file, in words for a sentence: "a directory", "a FIFO", "a character
// device"; empty for a regular file or nothing. Found without opening it:
// opening a FIFO or a device can block, or do something.
tstring nonFileKind(const tstring& path);
// Both paths name one existing file, however each is spelled.
bool isSameFile(const tstring& a, const tstring& b);
// The setup stub installed with the running program.
tstring defaultStub();
// The path of `leaf` in `directory`, joined as the host joins paths.
tstring inDirectory(const tstring& directory, const tstring& leaf);
// The names of the regular files directly in `directory`.
std::vector<tstring> filesIn(const tstring& directory);
// Throws an error for the user that names the file when it cannot go.
void removeFile(const tstring& path);

} // namespace PackFiles
