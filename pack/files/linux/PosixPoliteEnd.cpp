#include "PoliteEnd.h"

#include "SignalWatch.h"
#include "StagingCleanup.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {

void say(const std::string& text) { (void)!::write(STDERR_FILENO, text.data(), text.size()); }

} // namespace

// As the signing run's watch (SignalWatch): the signals are blocked in
// every thread and taken by a thread of the watch's own, so that what it
// does on one may wait for a publication, which a handler may not.
struct PoliteEnd::State {
    sigset_t watched;
    sigset_t previousMask;
    // The signal that tells the watcher to stop; 0 when none is watched,
    // and there is no watcher.
    int stopSignal = 0;
    // Held by HeldOff.
    std::mutex publishing;
    // Set before the watcher is told to stop: a signal that comes after it
    // finds the run's work done.
    std::atomic<bool> stopping{false};
    bool published = false;
    std::thread watcher;
};

PoliteEnd::PoliteEnd() : state_(std::make_unique<State>()) {
    sigemptyset(&state_->watched);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (!SignalWatch::callerIgnores(signal)) {
            sigaddset(&state_->watched, signal);
            state_->stopSignal = signal;
        }
    }
    if (state_->stopSignal == 0) {
        return;
    }
    ::pthread_sigmask(SIG_BLOCK, &state_->watched, &state_->previousMask);
    State* state = state_.get();
    state_->watcher = std::thread([state] {
        for (;;) {
            int signal = 0;
            if (::sigwait(&state->watched, &signal) != 0) {
                continue;
            }
            if (state->stopping) {
                return;
            }
            // Waits for a step held off to end: a publication whole or put
            // back, a staging file listed for removal.
            const std::lock_guard<std::mutex> held(state->publishing);
            const std::string ended =
                "velkin-pack: error: Ended by signal " + std::to_string(signal) + " (" + ::strsignal(signal) + ")";
            if (state->published) {
                say(ended + " after every output was published\n");
            } else {
                StagingCleanup::removeAll();
                say(ended + "; nothing was published\n");
            }
            ::_exit(1);
        }
    });
}

PoliteEnd::~PoliteEnd() {
    if (state_->stopSignal == 0) {
        return;
    }
    // Not under the publication's lock: a watcher that waits for it acts on
    // its signal, and this waits for that.
    state_->stopping = true;
    ::pthread_kill(state_->watcher.native_handle(), state_->stopSignal);
    state_->watcher.join();
    ::pthread_sigmask(SIG_SETMASK, &state_->previousMask, nullptr);
}

PoliteEnd::HeldOff::HeldOff(PoliteEnd& end) : end_(end) { end_.state_->publishing.lock(); }

PoliteEnd::HeldOff::~HeldOff() { end_.state_->publishing.unlock(); }

void PoliteEnd::HeldOff::published() { end_.state_->published = true; }
