#include "app.h"

#include "ConsoleText.h"
#include "ErrorHandling.h"
#include "FunctionTracer.h"
#include "Log.h"
#include "LogAppenders.h"

#include <memory>
#include <string>

namespace app {

const std::string* lastErrorMessage = nullptr;

} // namespace app

namespace {

// One line per record: "[LEVEL] file:line: message".
class StandardLogAppender : public LogAppender {
public:
    void append(const LogRecord& record) override {
        writeError((tstrings::TextBuilder(L"[" + record.levelName + L"] ")
                    << record.fileName << L":" << record.line << L": " << record.message)
                       .utf8() +
                   textLineEnd);
    }
};

// The failure's plain text on standard error, whatever the record says.
class LastErrorLogAppender : public LogAppender {
public:
    void append(const LogRecord&) override {
        writeError((app::lastErrorMessage ? *app::lastErrorMessage : std::string()) + textLineEnd);
    }
};

NopLogAppender nopAppender;
StandardLogAppender standardAppender;
LastErrorLogAppender standardErrorLastErrorAppender;

class ResetLastErrorMsgAtEndOfScope {
public:
    ResetLastErrorMsgAtEndOfScope() = default;
    ResetLastErrorMsgAtEndOfScope(const ResetLastErrorMsgAtEndOfScope&) = delete;
    ResetLastErrorMsgAtEndOfScope& operator=(const ResetLastErrorMsgAtEndOfScope&) = delete;

    ~ResetLastErrorMsgAtEndOfScope() { app::lastErrorMessage = nullptr; }
};

// From the end of the main function on, every record also goes to the
// last-error sink: the ERROR record of a failure is what shows it.
class SetLoggerAtEndOfScope {
public:
    SetLoggerAtEndOfScope(std::unique_ptr<WithExtraLogAppender>& holder, LogAppender& lastError)
        : holder_(holder), lastError_(lastError) {}
    SetLoggerAtEndOfScope(const SetLoggerAtEndOfScope&) = delete;
    SetLoggerAtEndOfScope& operator=(const SetLoggerAtEndOfScope&) = delete;

    ~SetLoggerAtEndOfScope() {
        try {
            holder_ = std::make_unique<WithExtraLogAppender>(lastError_);
        }
        VK_LOG_AND_SWALLOW(VK_HERE)
    }

private:
    std::unique_ptr<WithExtraLogAppender>& holder_;
    LogAppender& lastError_;
};

} // namespace

namespace app {

LogAppender& lastErrorLogAppender() { return standardErrorLastErrorAppender; }

int launch(const std::nothrow_t&, MainFunction mainFunction, LogAppender* lastErrorSink,
           bool debugRun) {
    processLogger().setAppender(debugRun ? static_cast<LogAppender*>(&standardAppender)
                                         : &nopAppender);
    VK_TRACE_FUNCTION();
    LogAppender& lastError = lastErrorSink ? *lastErrorSink : standardErrorLastErrorAppender;

    std::unique_ptr<WithExtraLogAppender> withLastError;
    std::string errorText;
    const ResetLastErrorMsgAtEndOfScope resetLastError;
    int result = 1;
    try {
        const SetLoggerAtEndOfScope showFailures(withLastError, lastError);
        mainFunction();
        result = 0;
    } catch (const VkErrorBase& e) {
        errorText = (tstrings::TextBuilder() << e.originalMessage()).utf8();
        lastErrorMessage = &errorText;
        try {
            throw;
        } catch (const std::runtime_error& located) {
            logCaughtException(VK_HERE, located);
        }
    } catch (const std::runtime_error& e) {
        // Its own text only: errno may be left over from any earlier call and
        // would name a reason that has nothing to do with this failure.
        errorText = e.what();
        lastErrorMessage = &errorText;
        logCaughtException(VK_HERE, e);
    } catch (...) {
        errorText = "Unknown error";
        lastErrorMessage = &errorText;
        logUnknownException(VK_HERE);
    }
    return result;
}

} // namespace app
