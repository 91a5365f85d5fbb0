#include "FormerOutput.h"

#include "Descriptor.h"
#include "NativeText.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

struct FormerOutput::Handle {
    std::string path;
    // Empty when nothing could be kept.
    std::string kept;
    // The lock that tells another run's sweep of lost staging files that
    // this one is in use.
    Descriptor lock;
};

namespace {

// A name of the staging files' form (.velkin-pack-<16 hex digits>.tmp):
// one that SIGKILL leaves is removed by the next run that writes there.
std::string keptName(const std::string& path) {
    static std::random_device source;
    const uint64_t value = (uint64_t{source()} << 32) | source();
    static const char hex[] = "0123456789abcdef";
    const size_t slash = path.rfind('/');
    std::string name = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".velkin-pack-";
    for (int shift = 60; shift >= 0; shift -= 4) {
        name += hex[(value >> shift) & 0xF];
    }
    return name + ".tmp";
}

} // namespace

FormerOutput::FormerOutput(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

std::unique_ptr<FormerOutput> FormerOutput::keep(const tstring& path) {
    auto handle = std::make_unique<Handle>();
    handle->path = toNative(path);
    struct stat status;
    if (::lstat(handle->path.c_str(), &status) != 0) {
        return nullptr;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string name = keptName(handle->path);
        if (::link(handle->path.c_str(), name.c_str()) == 0) {
            handle->kept = name;
            handle->lock.reset(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
            if (handle->lock) {
                ::flock(handle->lock.get(), LOCK_EX | LOCK_NB);
            }
            break;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return std::unique_ptr<FormerOutput>(new FormerOutput(std::move(handle)));
}

FormerOutput::~FormerOutput() {
    if (!handle_->kept.empty()) {
        ::unlink(handle_->kept.c_str());
    }
}

bool FormerOutput::putBack() {
    if (handle_->kept.empty() || ::rename(handle_->kept.c_str(), handle_->path.c_str()) != 0) {
        return false;
    }
    handle_->kept.clear();
    return true;
}
