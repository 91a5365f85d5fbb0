#include "LogAppenders.h"

#include <ostream>
#include <string>

void StreamLogAppender::append(const LogRecord& record) {
    tstring text = L"[";
    record.formatPrefix(text);
    text += record.fileName + L":" + std::to_wstring(record.line) + L" (" +
            record.functionName + L")]\n\t" + record.levelName + L": " + record.message;
    *stream_ << tstrings::toUtf8(text) << std::endl;
}

void TeeLogAppender::append(const LogRecord& record) {
    if (first_) {
        first_->append(record);
    }
    if (second_) {
        second_->append(record);
    }
}

WithExtraLogAppender::WithExtraLogAppender(LogAppender& extra)
    : previous_(processLogger().getAppender()), tee_(previous_, &extra) {
    processLogger().setAppender(&tee_);
}

WithExtraLogAppender::~WithExtraLogAppender() { processLogger().setAppender(previous_); }
