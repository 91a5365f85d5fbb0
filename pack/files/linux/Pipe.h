#pragma once

#include "Descriptor.h"
#include "ErrorHandling.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

// A pipe's two ends, each its own descriptor owner; neither survives into a
// program that a child starts, unless the child sets it up so.
struct Pipe {
    // `failure` starts the message when the system makes no pipe: "Cannot
    // start the sign command".
    explicit Pipe(const char* failure) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            VK_THROW_MSG(failure << ": " << std::strerror(errno));
        }
        readEnd.reset(ends[0]);
        writeEnd.reset(ends[1]);
    }

    Descriptor readEnd;
    Descriptor writeEnd;
};
