// The Windows half of ProcessInfo.
#include "ProcessInfo.h"

#include "GrowingBuffer.h"
#include "WindowsApi.h"

#include <exception>
#include <optional>

namespace ProcessInfo {

LocalTime localTime() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return {now.wYear,   now.wMonth,  now.wDayOfWeek, now.wDay,
            now.wHour,   now.wMinute, now.wSecond,    now.wMilliseconds};
}

uint32_t processId() { return ::GetCurrentProcessId(); }

uint32_t threadId() { return ::GetCurrentThreadId(); }

tstring moduleFilePath() {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&moduleFilePath), &module)) {
        return tstring();
    }
    try {
        const std::optional<tstring> path = fillGrowingBuffer(
            [&](wchar_t* buffer, DWORD capacity) {
                return ::GetModuleFileNameW(module, buffer, capacity);
            },
            MAX_PATH, "GetModuleFileName");
        return path.value_or(tstring());
    } catch (const std::exception&) {
        return tstring();
    }
}

} // namespace ProcessInfo
