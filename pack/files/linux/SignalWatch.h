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
    // comes while no signer runs: first moved out of the run's way under a
    // name of its own kind, its lock removed last (see
    // removePrivateDirectory).
    explicit SignalWatch(const std::string& directory);
    ~SignalWatch();

    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // For the signer's run, while a watch lives: signals go to the process
    // group `group` from now on (0: to none, the run's own handling again).
    // Called with the watch held (see Held), so that no signal falls
    // between the signer's start and this.
    static void passOnTo(pid_t group);
    // A descriptor that becomes readable when a signal has come; -1 without
    // a watch.
    static int wakeDescriptor();
    // The signal that came while the signer ran; 0 for none. A signal to
    // the whole group may end the signer before the watch has taken
    // velkin-pack's own: with the signal that ended the signer (0 for
    // none), this waits for the watch to take one that is on its way.
    static int received(int endedSignerBy = 0);
    // The run published `output`: a signal from now on says so.
    static void published(const std::string& output);
    // The caller ignores `signal` (nohup, a background job): it is meant not
    // to end the run, nor a program the run starts.
    static bool callerIgnores(int signal);

    // Held while the signer is started, while the output is published and
    // while the private directory is removed: a signal waits for each to
    // end, so that it finds no signer without its group, no output half
    // published and no directory half removed.
    class Held {
    public:
        Held();
        ~Held();
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;
    };

    struct State;

private:
    std::unique_ptr<State> state_;
};
