#pragma once

#include <new>
#include <string>

class LogAppender;

namespace app {

// The main function reports its result through the process's exit code
// variable, not through a return value.
using MainFunction = void (*)();

// Runs `mainFunction` under a catch-all. In a debug run every record goes to
// standard error; otherwise records go nowhere. A failure's plain text is
// logged once more through `lastErrorAppender` (standard error when null),
// which is how it reaches the user. Gives 0 when the main function returned,
// 1 when it threw.
int launch(const std::nothrow_t&, MainFunction mainFunction, LogAppender* lastErrorAppender,
           bool debugRun);

// Writes the failure being reported, and a line end, to standard error.
LogAppender& lastErrorLogAppender();

// The text of the failure being reported; null when none is. Valid only while
// `launch` runs.
extern const std::string* lastErrorMessage;

} // namespace app
