#pragma once

#include "tstrings.h"

#include <cstdint>
#include <vector>

// Runs one child process to its end: the application path and the arguments
// make one command line, each item in double quotes when it has a blank or a
// tab (nothing inside is escaped), followed by the verbatim text if there is
// one; the child starts hidden and inherits the environment, the current
// directory and the handles passed to it, no others.
class Executor {
public:
    explicit Executor(const tstring& appPath) : appPath_(appPath) {}

    Executor& addArg(const tstring& arg) {
        args_.push_back(arg);
        return *this;
    }

    // Text that ends the command line exactly as given: a command line that
    // someone else wrote, which no splitting and quoting would give back.
    Executor& addVerbatim(const tstring& text) {
        verbatim_ = text;
        return *this;
    }

    // The child inherits this handle: what it holds (a lock) stays held while
    // the child runs, also when this process ends first.
    Executor& passHandle(void* handle) {
        passedHandles_.push_back(handle);
        return *this;
    }

    Executor& visible(bool value) {
        visible_ = value;
        return *this;
    }

    // Waits without a time limit. A command line longer than the system takes
    // is refused before anything starts.
    uint32_t execAndWaitForExit() const;

    // The refusal of execAndWaitForExit, for a caller that knows the command
    // line's length before it has anything to run.
    void checkLength() const;

    tstring commandLine() const;

    // Lets an executor be the target of a back-inserting copy.
    using value_type = tstring;
    void push_back(const tstring& arg) { addArg(arg); }

private:
    bool visible_ = false;
    std::vector<void*> passedHandles_;
    tstring_array args_;
    tstring appPath_;
    tstring verbatim_;
};
