#pragma once

#include "ProcessInfo.h"
#include "tstrings.h"

#include <cstdint>

// What the logger hands to its sinks, and the sinks' interface: all that a
// sink needs to know of logging.
enum class LogLevel : int32_t { Trace = 0, Info = 1, Warning = 2, Error = 3 };

// "TRACE", "INFO", "WARNING", "ERROR", or "UNKNOWN" for any other value.
const wchar_t* logLevelName(LogLevel level);

struct LogRecord {
    using Time = ProcessInfo::LocalTime;

    Time localTime;
    uint32_t threadId;
    uint32_t processId;
    const wchar_t* moduleName;
    tstring levelName;
    tstring fileName;
    int32_t line;
    tstring functionName;
    tstring message;

    // Appends "YYYY/MM/DD hh:mm:ss.mmm, module (PID: p, TID: t), ".
    void formatPrefix(tstring& buffer) const;
};

class LogAppender {
public:
    virtual ~LogAppender() = default;
    virtual void append(const LogRecord& record) = 0;
};
