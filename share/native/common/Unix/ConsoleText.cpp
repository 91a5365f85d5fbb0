// The Unix half of ConsoleText: a terminal takes UTF-8 as it is.
#include "ConsoleText.h"

#include "ErrorHandling.h"
#include "SystemText.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

// 0, or the errno value of the write that failed.
int write(FILE* stream, int descriptor, const std::string& utf8) {
    // Text written through the C library's stream goes first.
    std::fflush(stream);
    const char* next = utf8.data();
    size_t left = utf8.size();
    while (left > 0) {
        const ssize_t written = ::write(descriptor, next, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return written < 0 ? errno : EIO;
        }
        next += written;
        left -= static_cast<size_t>(written);
    }
    return 0;
}

} // namespace

void writeOut(const std::string& utf8) { write(stdout, STDOUT_FILENO, utf8); }

void writeError(const std::string& utf8) { write(stderr, STDERR_FILENO, utf8); }

void writeResult(const std::string& utf8) {
    const int error = write(stdout, STDOUT_FILENO, utf8);
    if (error != 0 && error != EPIPE) {
        VK_THROW_MSG("Cannot write to standard output: " << SystemText::errnoDescription(error));
    }
}

const char* const textLineEnd = "\n";
