#pragma once

#include "ConsoleText.h"
#include "LogRecord.h"

// Full records with the time-stamped prefix, two lines each, each ending in a
// line feed.
class StreamLogAppender : public LogAppender {
public:
    explicit StreamLogAppender(TextOutput* output) : output_(output) {}
    void append(const LogRecord& record) override;

private:
    TextOutput* output_;
};

class NopLogAppender : public LogAppender {
public:
    void append(const LogRecord&) override {}
};

// Forwards to both sinks, the first first; either may be null.
class TeeLogAppender : public LogAppender {
public:
    TeeLogAppender(LogAppender* first, LogAppender* second) : first_(first), second_(second) {}
    void append(const LogRecord& record) override;

private:
    LogAppender* first_;
    LogAppender* second_;
};
