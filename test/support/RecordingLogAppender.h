#pragma once

#include "Log.h"

#include <vector>

// Keeps every record it is given, and is the process logger's sink for its
// own lifetime.
class RecordingLogAppender : public LogAppender {
public:
    RecordingLogAppender();
    ~RecordingLogAppender() override;

    void append(const LogRecord& record) override { records.push_back(record); }

    // The messages of the records at `level`, in order.
    std::vector<tstring> messages(LogLevel level) const;

    std::vector<LogRecord> records;

private:
    LogAppender* previous_;
};
