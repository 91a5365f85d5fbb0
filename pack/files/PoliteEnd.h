#pragma once

#include <memory>

// The polite ends of a run that publishes a set of outputs: on Linux
// SIGINT, SIGTERM and SIGHUP (those the caller does not ignore), on Windows
// Ctrl+C and Ctrl+Break. One that comes outside a publication ends the run
// at once, as it ends a signing run: on Linux the named staging files are
// removed and the run ends with one line naming the signal and exit code 1;
// on Windows with 0xC000013A, the staging files going with their handles.
// One that comes while a set is published waits until the set is whole, or
// put back, and then ends the run so (on Linux saying which). Each host has
// its half.
class PoliteEnd {
public:
    PoliteEnd();
    ~PoliteEnd();

    PoliteEnd(const PoliteEnd&) = delete;
    PoliteEnd& operator=(const PoliteEnd&) = delete;

    // Held while a step runs that a polite end must not cut in two: the
    // making of a staging file (named before it is listed for removal) and
    // the publication of a set. A polite end waits for it.
    class HeldOff {
    public:
        explicit HeldOff(PoliteEnd& end);
        ~HeldOff();

        HeldOff(const HeldOff&) = delete;
        HeldOff& operator=(const HeldOff&) = delete;

        // Every output of the set is in place.
        void published();

    private:
        PoliteEnd& end_;
    };

    struct State;

private:
    std::unique_ptr<State> state_;
};
