#pragma once

#include <functional>
#include <string>

#include <sys/types.h>

// Runs `work` in a child process of its own, started at once, and gives the
// bytes it returns when asked. Whatever the work does to its process (a
// crash, an endless loop, a failure that throws) stays there: the caller gets
// the answer or an exception whose reason says how the child ended. The child
// writes nothing to the caller's standard streams. Start it before this
// process has threads of its own: the child is a copy of this process.
class IsolatedCall {
public:
    explicit IsolatedCall(const std::function<std::string()>& work);
    // Ends a child whose answer nobody waited for.
    ~IsolatedCall();

    IsolatedCall(const IsolatedCall&) = delete;
    IsolatedCall& operator=(const IsolatedCall&) = delete;

    // Waits for the answer, once, and not for the child's end after it; a
    // child that takes longer is ended.
    std::string answer(int timeLimitSeconds);

private:
    int waitForChild();

    pid_t pid_ = 0;
    int answer_ = -1;
};
