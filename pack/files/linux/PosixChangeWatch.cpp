#include "ChangeWatch.h"

#include "Descriptor.h"
#include "NativeText.h"
#include "PosixPackFiles.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

// What a file's status tells of its bytes: a write moves its times, a
// truncation its size, a file renamed over its name another inode.
bool sameState(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_nlink == b.st_nlink &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

} // namespace

struct ChangeWatch::Handle {
    int descriptor = -1;
    std::string path;
    Descriptor watch;
    struct stat atStart {};
    // The name led elsewhere already when the watch began.
    bool renamedBefore = false;
};

ChangeWatch::ChangeWatch(const InputFile& file) : handle_(std::make_unique<Handle>()) {
    Handle& handle = *handle_;
    handle.descriptor = descriptorOf(file);
    handle.path = toNative(file.path());
    ::fstat(handle.descriptor, &handle.atStart);
    handle.watch.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    // By the descriptor's link: the watch is on the file read, not on
    // whatever has its name now. Without a watch (the user's limit of them
    // reached), the file's status is compared instead, which a write within
    // the clock's tick of the first one can escape.
    const std::string opened = "/proc/self/fd/" + std::to_string(handle.descriptor);
    if (handle.watch && ::inotify_add_watch(handle.watch.get(), opened.c_str(),
                                            IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVE_SELF |
                                                IN_DELETE_SELF) < 0) {
        handle.watch.reset();
    }
    // Readers that open the file by its name meet the file watched: from
    // now on a file renamed over it is a change of its links.
    struct stat named;
    handle.renamedBefore = ::stat(handle.path.c_str(), &named) != 0 || named.st_dev != handle.atStart.st_dev ||
                           named.st_ino != handle.atStart.st_ino;
}

ChangeWatch::~ChangeWatch() = default;

bool ChangeWatch::changed() const {
    const Handle& handle = *handle_;
    struct stat now;
    struct stat named;
    if (handle.renamedBefore || ::fstat(handle.descriptor, &now) != 0 || !sameState(handle.atStart, now) ||
        ::stat(handle.path.c_str(), &named) != 0 || !sameState(handle.atStart, named)) {
        return true;
    }
    if (!handle.watch) {
        return false;
    }
    alignas(inotify_event) char events[4096];
    for (;;) {
        const ssize_t read = ::read(handle.watch.get(), events, sizeof(events));
        if (read < 0 && errno == EINTR) {
            continue;
        }
        // Nothing to read is the answer "unchanged"; a queue that
        // overflowed held events.
        return read > 0 || (read < 0 && errno != EAGAIN);
    }
}
