#include "FunctionTracer.h"

#include "PathUtils.h"

FunctionTracer::FunctionTracer(const Logger& logger, LogLevel level, const tstring& file,
                               int line, const tstring& function, const tstring& label)
    : logger_(logger), level_(level), file_(file), line_(line), function_(function),
      label_(label), active_(logger.isEnabled(level)) {
    if (active_) {
        logger_.log(level_, file_, line_, function_, L"Entering " + label_);
    }
}

FunctionTracer::~FunctionTracer() {
    if (!active_) {
        return;
    }
    try {
        logger_.log(level_, file_, 0, function_,
                    tstrings::TextBuilder(L"Exiting " + label_)
                        << L" (entered at " << FileUtils::leafName(file_) << L":" << line_ << L")");
    } catch (...) {
        // The record that failed was the only way to report anything here.
    }
}

FunctionTracer makeFunctionTracer(const CodeLocation& location) {
    const tstring function = tstrings::fromUtf8(location.function);
    return FunctionTracer(processLogger(), LogLevel::Trace, tstrings::fromUtf8(location.file),
                          location.line, function, function);
}
