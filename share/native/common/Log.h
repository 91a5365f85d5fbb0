#pragma once

#include "ErrorHandling.h"
#include "ProcessInfo.h"
#include "tstrings.h"

#include <cstdint>

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

class Logger {
public:
    constexpr Logger() = default;
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    bool isEnabled(LogLevel level) const { return level >= minLevel_; }

    // Gives the previous appender; the logger never owns one.
    LogAppender* setAppender(LogAppender* appender);
    LogAppender* getAppender() const { return appender_; }

    // Hands a record to the appender whatever its level: callers test
    // isEnabled first so that they build no message for nothing.
    void log(LogLevel level, const tstring& file, int line, const tstring& function,
             const tstring& message) const;
    void log(LogLevel level, const tstring& file, int line, const tstring& function,
             const tstrings::TextBuilder& message) const;
    void log(LogLevel level, const CodeLocation& location,
             const tstrings::TextBuilder& message) const;

private:
    LogLevel minLevel_ = LogLevel::Trace;
    LogAppender* appender_ = nullptr;
};

// The one logger of the process. Until the launch frame chooses a sink it
// writes full records to standard output.
Logger& processLogger();

// The logging idiom: the message is composed only when its level is on.
#define VK_LOG(level, pieces)                                                                  \
    do {                                                                                       \
        const ::Logger& vkLogger_ = ::processLogger();                                         \
        if (vkLogger_.isEnabled(level)) {                                                      \
            vkLogger_.log((level), VK_HERE, ::tstrings::TextBuilder() << pieces);              \
        }                                                                                      \
    } while (false)

#define VK_TRACE(pieces) VK_LOG(::LogLevel::Trace, pieces)
#define VK_INFO(pieces) VK_LOG(::LogLevel::Info, pieces)
#define VK_WARNING(pieces) VK_LOG(::LogLevel::Warning, pieces)
