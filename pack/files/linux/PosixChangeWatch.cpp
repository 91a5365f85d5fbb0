#include "ChangeWatch.h"

#include "Descriptor.h"
#include "ErrorHandling.h"
#include "NativeText.h"
#include "PosixPackFiles.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

struct ChangeWatch::Handle {
    Descriptor watch;
    // The name led elsewhere already when the watch began.
    bool renamedBefore = false;
};

ChangeWatch::ChangeWatch(const InputFile& file) : handle_(std::make_unique<Handle>()) {
    handle_->watch.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    // By the descriptor's link: the watch is on the file read, not on
    // whatever has its name now.
    const std::string opened = "/proc/self/fd/" + std::to_string(descriptorOf(file));
    if (!handle_->watch || ::inotify_add_watch(handle_->watch.get(), opened.c_str(),
                                               IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVE_SELF |
                                                   IN_DELETE_SELF) < 0) {
        VK_THROW_MSG("Cannot watch " << file.path() << " for changes while it is packed: " << std::strerror(errno));
    }
    // Readers that open the file by its name meet the file watched: from
    // now on a file renamed over it is a change of its links.
    struct stat named;
    struct stat read;
    handle_->renamedBefore = ::stat(toNative(file.path()).c_str(), &named) != 0 ||
                             ::fstat(descriptorOf(file), &read) != 0 || named.st_dev != read.st_dev ||
                             named.st_ino != read.st_ino;
}

ChangeWatch::~ChangeWatch() = default;

bool ChangeWatch::changed() const {
    if (handle_->renamedBefore) {
        return true;
    }
    alignas(inotify_event) char events[4096];
    for (;;) {
        const ssize_t read = ::read(handle_->watch.get(), events, sizeof(events));
        if (read < 0 && errno == EINTR) {
            continue;
        }
        // Nothing to read is the answer "unchanged"; a queue that
        // overflowed held events.
        return read > 0 || (read < 0 && errno != EAGAIN);
    }
}
