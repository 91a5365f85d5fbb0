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

    // Held while a set is published: a polite end waits for it.
    class Publication {
    public:
        explicit Publication(PoliteEnd& end);
        ~Publication();

        Publication(const Publication&) = delete;
        Publication& operator=(const Publication&) = delete;

        // Every output of the set is in place.
        void done();

    private:
        PoliteEnd& end_;
    };

    struct State;

private:
    std::unique_ptr<State> state_;
};
