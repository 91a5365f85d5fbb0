#include "LogRecord.h"

const wchar_t* logLevelName(LogLevel level) {
    switch (level) {
    case LogLevel::Trace:
        return L"TRACE";
    case LogLevel::Info:
        return L"INFO";
    case LogLevel::Warning:
        return L"WARNING";
    case LogLevel::Error:
        return L"ERROR";
    }
    return L"UNKNOWN";
}

void LogRecord::formatPrefix(tstring& buffer) const {
    buffer += tstrings::format(L"%04u/%02u/%02u %02u:%02u:%02u.%03u, %ls (PID: %u, TID: %u), ",
                               localTime.year, localTime.month, localTime.day, localTime.hour,
                               localTime.minute, localTime.second, localTime.milliseconds,
                               moduleName, processId, threadId);
}
