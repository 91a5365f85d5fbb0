#include "RecordingLogAppender.h"

RecordingLogAppender::RecordingLogAppender()
    : previous_(processLogger().setAppender(this)) {}

RecordingLogAppender::~RecordingLogAppender() { processLogger().setAppender(previous_); }

std::vector<tstring> RecordingLogAppender::messages(LogLevel level) const {
    std::vector<tstring> result;
    for (const LogRecord& record : records) {
        if (record.levelName == logLevelName(level)) {
            result.push_back(record.message);
        }
    }
    return result;
}
