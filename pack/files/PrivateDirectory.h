#pragma once

#include "tstrings.h"

#include <memory>

// A directory under the user's temporary directory that only the user can
// enter, made for one run and removed with whatever it holds when it goes
// (also after a failure): for files that another program must find by name,
// such as a signer's input and output. Each host has its half.
class PrivateDirectory {
public:
    PrivateDirectory();
    ~PrivateDirectory();

    PrivateDirectory(const PrivateDirectory&) = delete;
    PrivateDirectory& operator=(const PrivateDirectory&) = delete;

    const tstring& path() const { return path_; }
    // The path of `leaf` in the subdirectory `folder`, which this call
    // makes: nothing is there yet.
    tstring place(const tstring& folder, const tstring& leaf) const;

    // Held while the run publishes its output: on Linux a polite signal
    // waits for the publication to end, and then says what was published
    // (done) rather than that nothing was.
    class Publication {
    public:
        Publication();
        ~Publication();
        Publication(const Publication&) = delete;
        Publication& operator=(const Publication&) = delete;

        void done(const tstring& output);

        struct State;

    private:
        std::unique_ptr<State> state_;
    };

    struct Handle;

private:
    tstring path_;
    std::unique_ptr<Handle> handle_;
};
