#pragma once

#include "ErrorHandling.h"
#include "LogAppenders.h"
#include "LogRecord.h"
#include "tstrings.h"

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

// Adds a sink to the process logger for the life of this object.
class WithExtraLogAppender {
public:
    explicit WithExtraLogAppender(LogAppender& extra);
    virtual ~WithExtraLogAppender();

    WithExtraLogAppender(const WithExtraLogAppender&) = delete;
    WithExtraLogAppender& operator=(const WithExtraLogAppender&) = delete;

private:
    LogAppender* previous_;
    TeeLogAppender tee_;
};

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
