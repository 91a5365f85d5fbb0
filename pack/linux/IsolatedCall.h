#pragma once

#include <functional>
#include <string>

// Runs `work` in a child process of its own and gives the bytes it returns.
// Whatever the work does to its process (a crash, an endless loop, a failure
// that throws) stays there: the caller gets the answer or an exception whose
// reason says how the child ended. The child writes nothing to the caller's
// standard streams.
std::string callIsolated(const std::function<std::string()>& work, int timeLimitSeconds);
