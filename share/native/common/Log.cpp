#include "Log.h"

#include "ConsoleText.h"
#include "PathUtils.h"
#include "ProcessInfo.h"

namespace {

constexpr size_t moduleNameCapacity = 260;

Logger theLogger;
wchar_t moduleName[moduleNameCapacity] = L"Unknown";
bool moduleNameKnown = false;

void computeModuleName() {
    tstring name = FileUtils::leafName(ProcessInfo::moduleFilePath());
    if (name.empty()) {
        name = L"Unknown";
    }
    name.resize(moduleNameCapacity - 1, L'\0');
    name.copy(moduleName, moduleNameCapacity - 1);
    moduleName[moduleNameCapacity - 1] = L'\0';
}

} // namespace

LogAppender* Logger::setAppender(LogAppender* appender) {
    LogAppender* previous = appender_;
    appender_ = appender;
    return previous;
}

void Logger::log(LogLevel level, const tstring& file, int line, const tstring& function,
                 const tstring& message) const {
    const LogRecord record{ProcessInfo::localTime(),
                           ProcessInfo::threadId(),
                           ProcessInfo::processId(),
                           moduleName,
                           logLevelName(level),
                           FileUtils::leafName(file),
                           line,
                           function,
                           message};
    appender_->append(record);
}

void Logger::log(LogLevel level, const tstring& file, int line, const tstring& function,
                 const tstrings::TextBuilder& message) const {
    log(level, file, line, function, message.str());
}

void Logger::log(LogLevel level, const CodeLocation& location,
                 const tstrings::TextBuilder& message) const {
    log(level, tstrings::fromUtf8(location.file), location.line,
        tstrings::fromUtf8(location.function), message.str());
}

Logger& processLogger() {
    if (!theLogger.getAppender()) {
        static StreamLogAppender standardOutput(&standardTextOutput());
        theLogger.setAppender(&standardOutput);
    }
    if (!moduleNameKnown) {
        moduleNameKnown = true;
        computeModuleName();
    }
    return theLogger;
}

WithExtraLogAppender::WithExtraLogAppender(LogAppender& extra)
    : previous_(processLogger().getAppender()), tee_(previous_, &extra) {
    processLogger().setAppender(&tee_);
}

WithExtraLogAppender::~WithExtraLogAppender() { processLogger().setAppender(previous_); }
