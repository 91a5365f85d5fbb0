#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

// While a run keeps files of its own outside its output (a private
// directory for a signer), the polite ends of a process, SIGINT, SIGTERM and
// SIGHUP (those the caller did not ignore), end it politely: a signal that
// comes while a signer runs is passed on to the signer's process group, and
// the run goes on only to wait for the signer and fail, cleaning up as every
// failure does; one that comes otherwise removes the directory and the named
// staging files and ends the run with exit code 1. The signals are taken by
// a thread of the watch's own, so that cleaning up may do what a signal
// handler may not.
class SignalWatch {
public:
    // `directory` is removed, with whatever it holds, on a signal that
    // comes while no signer runs.
    explicit SignalWatch(const std::string& directory);
    ~SignalWatch();

    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // For the signer's run, while a watch lives: signals go to the process
    // group `group` from now on (0: to none, the run's own handling again).
    // Called with the spawning held (see Spawning), so that no signal falls
    // between the signer's start and this.
    static void passOnTo(pid_t group);
    // A descriptor that becomes readable when a signal has come; -1 without
    // a watch.
    static int wakeDescriptor();
    // The signal that came while the signer ran; 0 for none.
    static int received();
    // The caller ignores `signal` (nohup, a background job): it is meant not
    // to end the run, nor a program the run starts.
    static bool callerIgnores(int signal);

    // Held while the signer is started: a signal waits for the start to end.
    class Spawning {
    public:
        Spawning();
        ~Spawning();
        Spawning(const Spawning&) = delete;
        Spawning& operator=(const Spawning&) = delete;
    };

    struct State;

private:
    std::unique_ptr<State> state_;
};
