#include "StandardStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

void openMissingStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        // The lowest free descriptor is the missing one.
        if (::open("/dev/null", O_RDWR) != fd) {
            static const char message[] = "velkin-pack: error: Cannot open /dev/null for a closed standard stream\n";
            // Lost when standard error is the stream that is closed.
            (void)!::write(STDERR_FILENO, message, sizeof(message) - 1);
            std::_Exit(1);
        }
    }
}
