#include "SignalWatch.h"

#include "Pipe.h"
#include "PrivateDirectoryRemoval.h"
#include "StagingCleanup.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

std::mutex held;
std::atomic<pid_t> signerGroup{0};
std::atomic<int> receivedSignal{0};
std::atomic<int> wake{-1};
// What the run published; guarded by `held`.
std::string publishedOutput;

// How long a signal that ended the signer may take to reach the watch.
constexpr int settleMilliseconds = 200;

void say(const std::string& text) { (void)!::write(STDERR_FILENO, text.data(), text.size()); }

} // namespace

struct SignalWatch::State {
    std::string directory;
    sigset_t watched;
    sigset_t previousMask;
    // The signal that tells the watcher to stop; 0 when none is watched,
    // and there is no watcher.
    int stopSignal = 0;
    std::atomic<bool> stopping{false};
    Pipe woken{"Cannot watch for signals"};
    std::thread watcher;
};

SignalWatch::SignalWatch(const std::string& directory) : state_(std::make_unique<State>()) {
    state_->directory = directory;
    sigemptyset(&state_->watched);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (!callerIgnores(signal)) {
            sigaddset(&state_->watched, signal);
            state_->stopSignal = signal;
        }
    }
    if (state_->stopSignal == 0) {
        return;
    }
    ::fcntl(state_->woken.writeEnd.get(), F_SETFL, O_NONBLOCK);
    receivedSignal = 0;
    publishedOutput.clear();
    wake = state_->woken.readEnd.get();
    // Blocked in every thread, this one's and those it starts, and taken
    // by the watcher alone.
    ::pthread_sigmask(SIG_BLOCK, &state_->watched, &state_->previousMask);
    State* state = state_.get();
    state_->watcher = std::thread([state] {
        for (;;) {
            int signal = 0;
            if (::sigwait(&state->watched, &signal) != 0) {
                continue;
            }
            // Before anything else: the signer's end may be seen meanwhile.
            if (!state->stopping) {
                receivedSignal = signal;
            }
            const std::lock_guard<std::mutex> holding(held);
            if (state->stopping) {
                return;
            }
            const pid_t group = signerGroup;
            if (group != 0) {
                ::kill(-group, signal);
                (void)!::write(state->woken.writeEnd.get(), "", 1);
                continue;
            }
            StagingCleanup::removeAll();
            removePrivateDirectory(state->directory);
            say("velkin-pack: error: Ended by signal " + std::to_string(signal) + " (" + ::strsignal(signal) + ")" +
                (publishedOutput.empty() ? std::string("; nothing was published")
                                         : " after " + publishedOutput + " was published") +
                "\n");
            ::_exit(1);
        }
    });
}

SignalWatch::~SignalWatch() {
    {
        const std::lock_guard<std::mutex> holding(held);
        state_->stopping = true;
    }
    if (state_->stopSignal == 0) {
        return;
    }
    ::pthread_kill(state_->watcher.native_handle(), state_->stopSignal);
    state_->watcher.join();
    wake = -1;
    signerGroup = 0;
    ::pthread_sigmask(SIG_SETMASK, &state_->previousMask, nullptr);
}

void SignalWatch::passOnTo(pid_t group) { signerGroup = group; }

int SignalWatch::wakeDescriptor() { return wake; }

int SignalWatch::received(int endedSignerBy) {
    if (receivedSignal != 0 || endedSignerBy == 0 || callerIgnores(endedSignerBy) || wake < 0) {
        return receivedSignal;
    }
    // Pending for the process, or taken by the watch a moment ago.
    for (int waited = 0; receivedSignal == 0 && waited < settleMilliseconds; ++waited) {
        sigset_t pending;
        ::sigpending(&pending);
        if (sigismember(&pending, endedSignerBy) != 1 && waited >= 20) {
            break;
        }
        ::usleep(1000);
    }
    return receivedSignal;
}

void SignalWatch::published(const std::string& output) { publishedOutput = output; }

bool SignalWatch::callerIgnores(int signal) {
    struct sigaction current {};
    ::sigaction(signal, nullptr, &current);
    return current.sa_handler == SIG_IGN;
}

SignalWatch::Held::Held() { held.lock(); }

SignalWatch::Held::~Held() { held.unlock(); }
