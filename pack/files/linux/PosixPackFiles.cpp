#include "PackFiles.h"

#include "Descriptor.h"
#include "ErrorHandling.h"
#include "NativeText.h"
#include "PosixPackFiles.h"
#include "StagingCleanup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#ifndef VELKIN_STUB_DIRECTORY
#error "VELKIN_STUB_DIRECTORY: where the stub is installed, relative to velkin-pack's directory"
#endif

namespace {

// Large enough that a read costs little beside its bytes, small enough to
// stay in the processor's cache for whoever looks at them.
constexpr uint64_t readChunk = 128 * 1024;

std::string reason(int error) { return std::strerror(error); }

void readAt(int fd, const tstring& path, uint64_t offset, void* buffer, size_t size) {
    auto* next = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t read = ::pread(fd, next, std::min<size_t>(size, SSIZE_MAX), static_cast<off_t>(offset));
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read < 0) {
            VK_THROW_MSG("Cannot read " << path << ": " << reason(errno));
        }
        if (read == 0) {
            VK_THROW_MSG("Cannot read " << path << ": it ends before " << offset + size << " bytes");
        }
        next += read;
        offset += static_cast<uint64_t>(read);
        size -= static_cast<size_t>(read);
    }
}

void writeAt(int fd, const tstring& path, uint64_t offset, const void* data, size_t size) {
    const auto* next = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, next, std::min<size_t>(size, SSIZE_MAX), static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            VK_THROW_MSG("Cannot write " << path << ": " << reason(written < 0 ? errno : EIO));
        }
        next += written;
        offset += static_cast<uint64_t>(written);
        size -= static_cast<size_t>(written);
    }
}

uint64_t sizeOf(int fd, const tstring& path) {
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        VK_THROW_MSG("Cannot read " << path << ": " << reason(errno));
    }
    return static_cast<uint64_t>(status.st_size);
}

bool statOf(const tstring& path, struct stat& status) { return ::stat(toNative(path).c_str(), &status) == 0; }

const wchar_t* kindOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return L"";
    }
    if (S_ISDIR(mode)) {
        return L"a directory";
    }
    if (S_ISFIFO(mode)) {
        return L"a FIFO";
    }
    if (S_ISCHR(mode)) {
        return L"a character device";
    }
    if (S_ISBLK(mode)) {
        return L"a block device";
    }
    if (S_ISSOCK(mode)) {
        return L"a socket";
    }
    return L"no file";
}

tstring absolute(const tstring& path) {
    if (!path.empty() && path[0] == L'/') {
        return path;
    }
    std::vector<char> directory(PATH_MAX);
    while (!::getcwd(directory.data(), directory.size())) {
        if (errno != ERANGE) {
            VK_THROW_MSG("Cannot read the current directory: " << reason(errno));
        }
        directory.resize(directory.size() * 2);
    }
    return fromNative(directory.data()) + L"/" + path;
}

tstring directoryOf(const tstring& path) {
    const size_t slash = path.find_last_of(L'/');
    return slash == 0 ? tstring(L"/") : path.substr(0, slash);
}

constexpr char stagingPrefix[] = ".velkin-pack-";
constexpr char stagingSuffix[] = ".tmp";
constexpr size_t stagingDigits = 16;

// A sibling name nobody else picks: 16 hex digits, random.
tstring stagingName(const tstring& output) {
    static std::random_device source;
    const uint64_t value = (uint64_t{source()} << 32) | source();
    static const wchar_t hex[] = L"0123456789abcdef";
    tstring name = directoryOf(output) + L"/" + fromNative(stagingPrefix);
    for (int shift = 60; shift >= 0; shift -= 4) {
        name += hex[(value >> shift) & 0xF];
    }
    return name + fromNative(stagingSuffix);
}

bool isStagingName(const std::string& name) {
    const size_t prefix = sizeof(stagingPrefix) - 1;
    const size_t suffix = sizeof(stagingSuffix) - 1;
    return name.size() == prefix + stagingDigits + suffix && name.compare(0, prefix, stagingPrefix) == 0 &&
           name.compare(prefix + stagingDigits, suffix, stagingSuffix) == 0 &&
           name.find_first_not_of("0123456789abcdef", prefix) == prefix + stagingDigits;
}

// Every staging file is locked by the run that writes it, for as long as it
// runs. Without the lock at once, or once it has lost its name, the file is
// not this run's to use.
bool holdStagingFile(int fd) {
    struct stat status;
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &status) == 0 && status.st_nlink > 0;
}

// Staging files of our name form that no running velkin-pack holds: left by
// a run that ended by SIGKILL or a crash where the file system has no
// unnamed files. Files that are not ours to remove stay.
void removeLostStagingFiles(const std::string& directory) {
    DIR* listing = ::opendir(directory.c_str());
    if (!listing) {
        return;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closing(listing, ::closedir);
    while (const dirent* entry = ::readdir(listing)) {
        if (!isStagingName(entry->d_name)) {
            continue;
        }
        const Descriptor file(
            ::openat(::dirfd(listing), entry->d_name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
        struct stat status;
        if (file && ::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode) &&
            ::flock(file.get(), LOCK_EX | LOCK_NB) == 0) {
            ::unlinkat(::dirfd(listing), entry->d_name, 0);
        }
    }
}

// For tests: the named staging files of file systems without unnamed ones
// (FUSE, some network file systems), wherever the tests run.
bool namedStagingForced() {
    const char* staging = std::getenv("VELKIN_PACK_STAGING");
    return staging && std::string(staging) == "named";
}

// Links an unnamed file into the directory under `path`; false when a file
// of that name is there already.
bool linkUnnamed(int fd, const tstring& path) {
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, toNative(path).c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    // Without /proc the descriptor links by itself, with the privilege that
    // takes.
    if (errno == ENOENT && ::linkat(fd, "", AT_FDCWD, toNative(path).c_str(), AT_EMPTY_PATH) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    VK_THROW_MSG("Cannot write " << path << ": " << reason(errno));
}

tstring temporaryDirectory() {
    const char* configured = std::getenv("TMPDIR");
    return fromNative(configured && *configured ? configured : "/tmp");
}

} // namespace

struct InputFile::Handle {
    Descriptor fd;
};

// The staging file is unnamed where the file system allows that (O_TMPFILE):
// it has no name until it is complete, and vanishes with the process however
// that ends. Elsewhere it has a name, removed on failure and on the signals
// that end a process politely.
struct StagedOutput::Handle {
    Descriptor fd;
    tstring named;
    bool published = false;
};

InputFile::InputFile(const tstring& path) : path_(path), handle_(std::make_unique<Handle>()) {
    const auto refuseKind = [&path](mode_t mode) {
        if (!S_ISREG(mode)) {
            VK_THROW_MSG("Cannot read " << path << ": it is " << kindOf(mode) << ", not a regular file");
        }
    };
    struct stat status;
    if (statOf(path, status)) {
        refuseKind(status.st_mode);
    }
    // Without blocking, should a FIFO have taken the file's place since.
    handle_->fd.reset(::open(toNative(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!handle_->fd || ::fstat(handle_->fd.get(), &status) != 0) {
        VK_THROW_MSG("Cannot read " << path << ": " << reason(errno));
    }
    refuseKind(status.st_mode);
}

InputFile::~InputFile() = default;

uint64_t InputFile::size() const { return sizeOf(handle_->fd.get(), path_); }

void InputFile::read(uint64_t offset, void* buffer, size_t size) const {
    readAt(handle_->fd.get(), path_, offset, buffer, size);
}

void InputFile::visit(uint64_t offset, uint64_t size,
                      const std::function<void(uint64_t, const uint8_t*, size_t)>& visitor) const {
    // Read, never mapped: a file that another process cuts short while it is
    // read then ends a read early, where a mapped page would be a SIGBUS.
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(readChunk, size)));
    for (uint64_t done = 0; done < size;) {
        const size_t part = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - done));
        read(offset + done, chunk.data(), part);
        visitor(offset + done, chunk.data(), part);
        done += part;
    }
}

namespace {

// `size` bytes of `source` from `sourceOffset` on, to `offset` in the file
// open as `fd`, named `path` in messages.
void copyInto(int fd, const tstring& path, const InputFile& source, uint64_t sourceOffset, uint64_t offset,
              uint64_t size) {
    auto from = static_cast<off_t>(sourceOffset);
    auto to = static_cast<off_t>(offset);
    uint64_t left = size;
    // In the kernel, as cp copies; between some file systems it cannot, and
    // the bytes go through a buffer instead.
    while (left > 0) {
        const ssize_t copied =
            ::copy_file_range(source.handle().fd.get(), &from, fd, &to, left, 0);
        if (copied < 0 && errno == EINTR) {
            continue;
        }
        if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            break;
        }
        if (copied < 0) {
            VK_THROW_MSG("Cannot write " << path << ": " << reason(errno));
        }
        if (copied == 0) {
            VK_THROW_MSG("Cannot read " << source.path() << ": it ends before " << sourceOffset + size << " bytes");
        }
        left -= static_cast<uint64_t>(copied);
    }
    const auto start = static_cast<uint64_t>(from);
    source.visit(start, left, [&](uint64_t at, const uint8_t* bytes, size_t part) {
        writeAt(fd, path, static_cast<uint64_t>(to) + (at - start), bytes, part);
    });
}

} // namespace

StagedOutput::StagedOutput(const tstring& output) : output_(absolute(output)), handle_(std::make_unique<Handle>()) {
    // A device node would be replaced by a regular file, even /dev/null.
    const tstring kind = PackFiles::nonFileKind(output_);
    if (!kind.empty()) {
        VK_THROW_MSG("The output " << output_ << " is " << kind << ", not a regular file");
    }
    const std::string directory = toNative(directoryOf(output_));
    // An unnamed file gets its name only when published: a name too long
    // for the directory's file system is refused before anything is written.
    const long longestName = ::pathconf(directory.c_str(), _PC_NAME_MAX);
    const size_t nameBytes = toNative(output_).size() - directory.size() - (directory == "/" ? 0 : 1);
    if (longestName > 0 && nameBytes > static_cast<size_t>(longestName)) {
        VK_THROW_MSG("Cannot write " << output_ << ": " << reason(ENAMETOOLONG));
    }
    removeLostStagingFiles(directory);
    if (!namedStagingForced()) {
        handle_->fd.reset(::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    }
    if (namedStagingForced() || (!handle_->fd && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))) {
        for (int attempt = 0; attempt < 16 && !handle_->fd && (attempt == 0 || errno == EEXIST); ++attempt) {
            handle_->named = stagingName(output_);
            handle_->fd.reset(::open(toNative(handle_->named).c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666));
            if (handle_->fd && !holdStagingFile(handle_->fd.get())) {
                // Taken for a lost one by another run between its making and
                // its lock: it is gone, and another name is tried.
                handle_->fd.reset();
                errno = EEXIST;
            }
        }
        if (handle_->fd) {
            StagingCleanup::add(toNative(handle_->named));
        }
    } else if (handle_->fd) {
        // Named for a moment only when published over an existing output.
        holdStagingFile(handle_->fd.get());
    }
    if (!handle_->fd) {
        VK_THROW_MSG("Cannot write to the directory of " << output_ << ": " << reason(errno));
    }
}

StagedOutput::~StagedOutput() {
    if (!handle_->named.empty() && !handle_->published) {
        ::unlink(toNative(handle_->named).c_str());
        StagingCleanup::remove(toNative(handle_->named));
    }
}

void StagedOutput::write(uint64_t offset, const void* data, size_t size) {
    writeAt(handle_->fd.get(), output_, offset, data, size);
}

void StagedOutput::copy(const InputFile& source, uint64_t sourceOffset, uint64_t offset, uint64_t size) {
    copyInto(handle_->fd.get(), output_, source, sourceOffset, offset, size);
}

void StagedOutput::reserve(uint64_t size) {
    int reserved = 0;
    do {
        reserved = ::fallocate(handle_->fd.get(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size));
    } while (reserved != 0 && errno == EINTR);
    if (reserved != 0 && errno != EOPNOTSUPP && errno != ENOSYS) {
        VK_THROW_MSG("Cannot write " << output_ << ": " << reason(errno));
    }
}

uint64_t StagedOutput::size() const { return sizeOf(handle_->fd.get(), output_); }

void StagedOutput::read(uint64_t offset, void* buffer, size_t size) const {
    readAt(handle_->fd.get(), output_, offset, buffer, size);
}

void StagedOutput::publish() {
    if (handle_->named.empty()) {
        if (!linkUnnamed(handle_->fd.get(), output_)) {
            // An existing output is replaced at once, by a rename: the file
            // is named beside it for that moment only.
            handle_->named = stagingName(output_);
            while (!linkUnnamed(handle_->fd.get(), handle_->named)) {
                handle_->named = stagingName(output_);
            }
            StagingCleanup::add(toNative(handle_->named));
        }
    }
    if (!handle_->named.empty() && ::rename(toNative(handle_->named).c_str(), toNative(output_).c_str()) != 0) {
        VK_THROW_MSG("Cannot write " << output_ << ": " << reason(errno));
    }
    if (!handle_->named.empty()) {
        StagingCleanup::remove(toNative(handle_->named));
    }
    handle_->published = true;
    handle_->fd.reset();
}

namespace PackFiles {

bool exists(const tstring& path) {
    struct stat status;
    return statOf(path, status);
}

bool isDirectory(const tstring& path) {
    struct stat status;
    return statOf(path, status) && S_ISDIR(status.st_mode);
}

tstring nonFileKind(const tstring& path) {
    struct stat status;
    return statOf(path, status) ? kindOf(status.st_mode) : L"";
}

bool isSameFile(const tstring& a, const tstring& b) {
    struct stat first;
    struct stat second;
    return statOf(a, first) && statOf(b, second) && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

tstring defaultStub() {
    std::vector<char> self(PATH_MAX);
    const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length <= 0) {
        VK_THROW_MSG("Cannot find the setup stub: /proc/self/exe cannot be read: " << reason(errno));
    }
    const tstring directory = directoryOf(fromNative(std::string(self.data(), static_cast<size_t>(length))));
    // Beside the program in a build tree; in the installed tree where the
    // installation puts it.
    const tstring beside = directory + L"/velkin-setup.exe";
    return exists(beside) ? beside : directory + L"/" + tstrings::fromUtf8(VELKIN_STUB_DIRECTORY) + L"/velkin-setup.exe";
}

tstring inDirectory(const tstring& directory, const tstring& leaf) {
    return !directory.empty() && directory.back() == L'/' ? directory + leaf : directory + L"/" + leaf;
}

std::vector<tstring> filesIn(const tstring& directory) {
    DIR* listing = ::opendir(toNative(directory).c_str());
    if (!listing) {
        VK_THROW_MSG("Cannot read the directory " << directory << ": " << reason(errno));
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closing(listing, ::closedir);
    std::vector<tstring> files;
    while (const dirent* entry = ::readdir(listing)) {
        struct stat status;
        if (::fstatat(::dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(status.st_mode)) {
            files.push_back(fromNative(entry->d_name));
        }
    }
    return files;
}

void removeFile(const tstring& path) {
    if (::unlink(toNative(path).c_str()) != 0) {
        VK_THROW_MSG("Cannot remove " << path << ": " << reason(errno));
    }
}

} // namespace PackFiles

int descriptorOf(const InputFile& input) { return input.handle().fd.get(); }

TemporaryCopy::TemporaryCopy(const InputFile& source, uint64_t offset, uint64_t size) {
    const tstring directory = temporaryDirectory();
    Descriptor copy(::open(toNative(directory).c_str(), O_TMPFILE | O_EXCL | O_RDWR | O_CLOEXEC, 0600));
    if (!copy && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        std::string name = toNative(directory) + "/.velkin-pack-XXXXXX";
        copy.reset(::mkostemp(&name[0], O_CLOEXEC));
        if (copy) {
            ::unlink(name.c_str());
        }
    }
    if (!copy) {
        const int error = errno;
        VK_THROW_MSG("Cannot make a file in the temporary directory " << directory << " (TMPDIR): " << reason(error));
    }
    copyInto(copy.get(), L"a file in the temporary directory " + directory + L" (TMPDIR)", source, offset, 0, size);
    fd_.reset(copy.release());
}
