#include "PackFiles.h"

#include "ErrorHandling.h"
#include "NativeText.h"
#include "PosixHandles.h"
#include "StagingCleanup.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <random>
#include <vector>

#ifndef VELKIN_STUB_DIRECTORY
#error "VELKIN_STUB_DIRECTORY: where the stub is installed, relative to velkin-pack's directory"
#endif

namespace {

constexpr uint64_t mapWindow = 8 * 1024 * 1024;

// Unmaps a view of a file when it goes.
struct MappedView {
    void* address;
    size_t size;
    ~MappedView() { ::munmap(address, size); }
};

std::string reason(int error) { return std::strerror(error); }

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            const int error = errno;
            ::close(fd_);
            errno = error;
        }
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

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

// A sibling name nobody else picks: 16 hex digits, random.
tstring stagingName(const tstring& output) {
    static std::random_device source;
    const uint64_t value = (uint64_t{source()} << 32) | source();
    static const wchar_t hex[] = L"0123456789abcdef";
    tstring name = directoryOf(output) + L"/.velkin-pack-";
    for (int shift = 60; shift >= 0; shift -= 4) {
        name += hex[(value >> shift) & 0xF];
    }
    return name + L".tmp";
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
    handle_->fd.reset(::open(toNative(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!handle_->fd) {
        VK_THROW_MSG("Cannot read " << path << ": " << reason(errno));
    }
}

InputFile::~InputFile() = default;

uint64_t InputFile::size() const { return sizeOf(handle_->fd.get(), path_); }

void InputFile::read(uint64_t offset, void* buffer, size_t size) const {
    readAt(handle_->fd.get(), path_, offset, buffer, size);
}

void InputFile::visit(uint64_t offset, uint64_t size,
                      const std::function<void(uint64_t, const uint8_t*, size_t)>& visitor) const {
    // The file's own pages from the cache, a window at a time, mapped with
    // their page tables filled at once: no copy, and memory that does not
    // grow with the file.
    const uint64_t page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    for (uint64_t done = 0; done < size;) {
        const uint64_t at = offset + done;
        const uint64_t start = at / page * page;
        const size_t part = static_cast<size_t>(std::min<uint64_t>(mapWindow - (at - start), size - done));
        const size_t mapped = static_cast<size_t>(at - start) + part;
        void* view = ::mmap(nullptr, mapped, PROT_READ, MAP_SHARED | MAP_POPULATE, handle_->fd.get(),
                            static_cast<off_t>(start));
        if (view == MAP_FAILED) {
            VK_THROW_MSG("Cannot read " << path_ << ": " << reason(errno));
        }
        const MappedView unmap{view, mapped};
        visitor(at, static_cast<const uint8_t*>(view) + (at - start), part);
        done += part;
    }
}

StagedOutput::StagedOutput(const tstring& output) : output_(absolute(output)), handle_(std::make_unique<Handle>()) {
    if (PackFiles::isDirectory(output_)) {
        VK_THROW_MSG("The output " << output_ << " is a directory");
    }
    const std::string directory = toNative(directoryOf(output_));
    handle_->fd.reset(::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (!handle_->fd && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        for (int attempt = 0; attempt < 16 && !handle_->fd && (attempt == 0 || errno == EEXIST); ++attempt) {
            handle_->named = stagingName(output_);
            handle_->fd.reset(::open(toNative(handle_->named).c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666));
        }
        if (handle_->fd) {
            StagingCleanup::add(toNative(handle_->named));
        }
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
    auto from = static_cast<off_t>(sourceOffset);
    auto to = static_cast<off_t>(offset);
    uint64_t left = size;
    // In the kernel, as cp copies; between some file systems it cannot, and
    // the bytes go through a buffer instead.
    while (left > 0) {
        const ssize_t copied =
            ::copy_file_range(source.handle().fd.get(), &from, handle_->fd.get(), &to, left, 0);
        if (copied < 0 && errno == EINTR) {
            continue;
        }
        if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            break;
        }
        if (copied < 0) {
            VK_THROW_MSG("Cannot write " << output_ << ": " << reason(errno));
        }
        if (copied == 0) {
            VK_THROW_MSG("Cannot read " << source.path() << ": it ends before " << sourceOffset + size << " bytes");
        }
        left -= static_cast<uint64_t>(copied);
    }
    const auto start = static_cast<uint64_t>(from);
    source.visit(start, left, [&](uint64_t at, const uint8_t* bytes, size_t part) {
        write(static_cast<uint64_t>(to) + (at - start), bytes, part);
    });
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

} // namespace PackFiles

int descriptorOf(const StagedOutput& output) { return output.handle().fd.get(); }
