// The Unix half of ProcessInfo: POSIX, and Linux's thread ids and /proc.
#include "ProcessInfo.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace ProcessInfo {

LocalTime localTime() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    return {static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
            static_cast<uint16_t>(local.tm_wday),        static_cast<uint16_t>(local.tm_mday),
            static_cast<uint16_t>(local.tm_hour),        static_cast<uint16_t>(local.tm_min),
            static_cast<uint16_t>(local.tm_sec),         static_cast<uint16_t>(now.tv_nsec / 1000000)};
}

uint32_t processId() { return static_cast<uint32_t>(::getpid()); }

uint32_t threadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

tstring moduleFilePath() {
    // readlink says neither how long the path is nor that it was cut: a path
    // that fills the buffer may be longer.
    std::vector<char> buffer(256);
    for (int pass = 0; pass < 8; ++pass) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return tstring();
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            return tstrings::fromUtf8(std::string(buffer.data(), static_cast<size_t>(length)));
        }
        buffer.resize(buffer.size() * 2);
    }
    return tstring();
}

} // namespace ProcessInfo
