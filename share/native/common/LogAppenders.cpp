#include "LogAppenders.h"

#include <string>

void StreamLogAppender::append(const LogRecord& record) {
    tstring prefix = L"[";
    record.formatPrefix(prefix);
    output_->write((tstrings::TextBuilder(prefix)
                    << record.fileName << L":" << record.line << L" (" << record.functionName
                    << L")]\n\t" << record.levelName << L": " << record.message)
                       .utf8() +
                   "\n");
}

void TeeLogAppender::append(const LogRecord& record) {
    if (first_) {
        first_->append(record);
    }
    if (second_) {
        second_->append(record);
    }
}
