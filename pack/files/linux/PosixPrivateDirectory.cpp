#include "PrivateDirectory.h"

#include "Descriptor.h"
#include "ErrorHandling.h"
#include "NativeText.h"
#include "PrivateDirectoryRemoval.h"
#include "SignalWatch.h"
#include "TreeRemoval.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr char prefix[] = "velkin-pack-";
// mkdtemp's six characters.
constexpr size_t nameLength = sizeof(prefix) - 1 + 6;
// Locked by the run that made the directory for as long as it runs; it gets
// this name only once it is locked.
constexpr char lockName[] = ".lock";

std::string temporaryDirectory() {
    const char* configured = std::getenv("TMPDIR");
    return configured && *configured ? configured : "/tmp";
}

// Private directories of this user's runs that ended without cleaning up
// (SIGKILL, a crash): their lock is free. One without a lock yet is being
// made, and stays.
void removeLostDirectories(const std::string& temporary) {
    DIR* listing = ::opendir(temporary.c_str());
    if (!listing) {
        return;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closing(listing, ::closedir);
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        struct stat status;
        if (name.size() != nameLength || name.compare(0, sizeof(prefix) - 1, prefix) != 0 ||
            ::fstatat(::dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid()) {
            continue;
        }
        const std::string path = temporary + "/" + name;
        const Descriptor lock(::open((path + "/" + lockName).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (lock && ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
            removeTree(path);
        }
    }
}

} // namespace

void removePrivateDirectory(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string pattern = path.substr(0, slash + 1) + prefix + "XXXXXX";
    std::vector<char> moved(pattern.begin(), pattern.end());
    moved.push_back('\0');
    std::string target = path;
    // A directory renames over an empty one.
    if (::mkdtemp(moved.data())) {
        if (::rename(path.c_str(), moved.data()) == 0) {
            target = moved.data();
        } else {
            ::rmdir(moved.data());
        }
    }
    if (DIR* listing = ::opendir(target.c_str())) {
        const std::unique_ptr<DIR, int (*)(DIR*)> closing(listing, ::closedir);
        while (const dirent* entry = ::readdir(listing)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && name != lockName) {
                removeTree(target + "/" + name);
            }
        }
    }
    ::unlink((target + "/" + lockName).c_str());
    ::rmdir(target.c_str());
}

struct PrivateDirectory::Handle {
    Descriptor lock;
    std::unique_ptr<SignalWatch> signals;
};

PrivateDirectory::PrivateDirectory() : handle_(std::make_unique<Handle>()) {
    const std::string temporary = temporaryDirectory();
    removeLostDirectories(temporary);
    std::string pattern = temporary + "/" + prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkdtemp makes it with mode 0700.
    if (!::mkdtemp(name.data())) {
        VK_THROW_MSG("Cannot make a private directory in " << fromNative(temporary) << ": " << std::strerror(errno));
    }
    path_ = fromNative(name.data());
    const std::string making = std::string(name.data()) + "/.lock-making";
    handle_->lock.reset(::open(making.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600));
    if (!handle_->lock || ::flock(handle_->lock.get(), LOCK_EX) != 0 ||
        ::rename(making.c_str(), (std::string(name.data()) + "/" + lockName).c_str()) != 0) {
        const int error = errno;
        removeTree(name.data());
        VK_THROW_MSG("Cannot make a private directory in " << fromNative(temporary) << ": " << std::strerror(error));
    }
    try {
        handle_->signals = std::make_unique<SignalWatch>(name.data());
    } catch (...) {
        removeTree(name.data());
        throw;
    }
}

PrivateDirectory::~PrivateDirectory() {
    // Whatever a signer left there goes too; a link is removed, never
    // followed. A signal meanwhile finds the watch still there, and waits
    // for the removal to end.
    const SignalWatch::Held holding;
    removePrivateDirectory(toNative(path_));
}

tstring PrivateDirectory::place(const tstring& folder, const tstring& leaf) const {
    const tstring directory = path_ + L"/" + folder;
    if (::mkdir(toNative(directory).c_str(), 0700) != 0) {
        VK_THROW_MSG("Cannot make the directory " << directory << ": " << std::strerror(errno));
    }
    return directory + L"/" + leaf;
}

struct PrivateDirectory::Publication::State {
    SignalWatch::Held holding;
};

PrivateDirectory::Publication::Publication() : state_(std::make_unique<State>()) {}

PrivateDirectory::Publication::~Publication() = default;

void PrivateDirectory::Publication::done(const tstring& output) { SignalWatch::published(toNative(output)); }
