#pragma once

#include "Descriptor.h"

#include <cstdint>
#include <functional>
#include <string>

#include <sys/types.h>

// Runs `work` in a child process of its own, started at once, and gives the
// bytes it returns when asked. Whatever the work does to its process (a
// crash, an endless loop, a failure that throws) stays there: the caller gets
// the answer or an exception whose reason says how the child ended; a
// DamagedFileError that the work throws comes back as one. The child
// writes nothing to the caller's standard streams. Start it before this
// process has threads of its own: the child is a copy of this process.
class IsolatedCall {
public:
    // `addressSpaceAllowance`, in bytes, bounds the child's memory: what it
    // may map beyond what it has at its start, a copy of this process's (0:
    // no bound). Work that asks for more fails, or crashes, in the child
    // alone.
    explicit IsolatedCall(const std::function<std::string()>& work, uint64_t addressSpaceAllowance = 0);
    // Ends a child whose answer nobody waited for.
    ~IsolatedCall();

    IsolatedCall(const IsolatedCall&) = delete;
    IsolatedCall& operator=(const IsolatedCall&) = delete;

    // Waits for the answer, once, and not for the child's end after it; a
    // child that takes longer is ended.
    std::string answer(int timeLimitSeconds);

    // For the work, in the child, where an error cannot be thrown (a C
    // library's fatal-error hook): ends the child with `reason` as its
    // failure.
    [[noreturn]] static void failInChild(const std::string& reason);
    // In the child: the reason for work that wanted more memory than its
    // bound.
    static std::string memoryReasonInChild();

private:
    int waitForChild();

    pid_t pid_ = 0;
    Descriptor answer_;
};
