#include "StagingCleanup.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace StagingCleanup {

namespace {

// A handler may only call what is safe in a signal: the paths are kept in
// fixed storage, never allocated while it runs.
constexpr size_t slots = 4;
constexpr size_t pathLimit = 4096;
char paths[slots][pathLimit];
volatile sig_atomic_t used[slots];
const int signals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[sizeof(signals) / sizeof(signals[0])];
size_t listed = 0;

void removeListed() {
    for (size_t i = 0; i < slots; ++i) {
        if (used[i]) {
            ::unlink(paths[i]);
        }
    }
}

void removeAndEnd(int signal) {
    removeListed();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
}

void install(bool on) {
    for (size_t i = 0; i < sizeof(signals) / sizeof(signals[0]); ++i) {
        if (on) {
            // A signal that the caller ignores (nohup, a background job) is
            // meant not to end this process, and so stays ignored.
            ::sigaction(signals[i], nullptr, &previous[i]);
            if (previous[i].sa_handler == SIG_IGN) {
                continue;
            }
            struct sigaction handler {};
            handler.sa_handler = removeAndEnd;
            sigemptyset(&handler.sa_mask);
            ::sigaction(signals[i], &handler, nullptr);
        } else {
            ::sigaction(signals[i], &previous[i], nullptr);
        }
    }
}

} // namespace

void add(const std::string& path) {
    for (size_t i = 0; i < slots; ++i) {
        if (!used[i] && path.size() < pathLimit) {
            std::memcpy(paths[i], path.c_str(), path.size() + 1);
            used[i] = 1;
            if (listed++ == 0) {
                install(true);
            }
            return;
        }
    }
}

void remove(const std::string& path) {
    for (size_t i = 0; i < slots; ++i) {
        if (used[i] && path == paths[i]) {
            used[i] = 0;
            if (--listed == 0) {
                install(false);
            }
            return;
        }
    }
}

void removeAll() { removeListed(); }

} // namespace StagingCleanup
