#pragma once

#include "tstrings.h"

#include <cstdint>

// What a log record tells about the process that wrote it; one half for
// Windows, one for Unix systems.
namespace ProcessInfo {

// The fields of a Windows SYSTEMTIME, in its order.
struct LocalTime {
    uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

LocalTime localTime();
uint32_t processId();
uint32_t threadId();

// The path of the file that holds this code: the program, or the library it
// was linked into. Empty when the system cannot tell.
tstring moduleFilePath();

} // namespace ProcessInfo
