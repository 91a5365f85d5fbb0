#pragma once

#include <cerrno>
#include <utility>

#include <unistd.h>

// The owner of a file descriptor: closes it when destroyed or given another,
// keeps errno across the close (so that a failure reported after clean-up
// still reads the right reason); hands its descriptor on only by release().
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }

    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
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
