#pragma once

#include "Log.h"

// Logs "Entering <label>" when made and "Exiting <label> (entered at
// file:line)" when the scope ends.
class FunctionTracer {
public:
    FunctionTracer(const Logger& logger, LogLevel level, const tstring& file, int line,
                   const tstring& function, const tstring& label);
    ~FunctionTracer();

    FunctionTracer(const FunctionTracer&) = delete;
    FunctionTracer& operator=(const FunctionTracer&) = delete;

private:
    const Logger& logger_;
    LogLevel level_;
    tstring file_;
    int line_;
    tstring function_;
    tstring label_;
    bool active_;
};

// Traces the enclosing function at TRACE level, named by its qualified name.
#define VK_TRACE_FUNCTION()                                                                    \
    const ::FunctionTracer vkFunctionTracer_ = ::makeFunctionTracer(VK_HERE)

FunctionTracer makeFunctionTracer(const CodeLocation& location);
