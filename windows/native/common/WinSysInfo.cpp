#include "WinSysInfo.h"

#include "CommandLine.h"
#include "GrowingBuffer.h"
#include "PathUtils.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "UniqueHandles.h"
#include "WindowsApi.h"

#include <optional>

namespace SysInfo {

tstring_array getCommandArgs(ProgramPathMode mode) {
    const tstring line = ::GetCommandLineW();
    tstring_array result = CommandLine::splitArguments(line);
    if (mode != DropProgramPath) {
        result.insert(result.begin(), CommandLine::programName(line));
    }
    return result;
}

tstring getCommandLineArguments() { return CommandLine::argumentsText(::GetCommandLineW()); }

namespace {

// The variable's value; nothing when it does not exist or cannot be read,
// and GetLastError then tells which.
std::optional<tstring> readEnvVariable(const tstring& name) {
    // An empty value is answered with 0 too, but leaves the code alone.
    ::SetLastError(ERROR_SUCCESS);
    const std::optional<tstring> value = fillGrowingBuffer(
        [&](wchar_t* buffer, DWORD capacity) {
            return ::GetEnvironmentVariableW(name.c_str(), buffer, capacity);
        },
        10, "GetEnvironmentVariable");
    if (!value && ::GetLastError() == ERROR_SUCCESS) {
        return tstring();
    }
    return value;
}

} // namespace

tstring getEnvVariable(const tstring& name) {
    const std::optional<tstring> value = readEnvVariable(name);
    if (!value) {
        const uint32_t error = ::GetLastError();
        if (error == ERROR_ENVVAR_NOT_FOUND) {
            VK_THROW_SYS_ERROR(::GetEnvironmentVariableW, error,
                               "GetEnvironmentVariable(" << name << ") failed. Variable not set");
        }
        VK_THROW_SYS_ERROR(::GetEnvironmentVariableW, error,
                           "GetEnvironmentVariable(" << name << ") failed");
    }
    return *value;
}

tstring getEnvVariable(const std::nothrow_t&, const tstring& name, const tstring& defaultValue) {
    return readEnvVariable(name).value_or(defaultValue);
}

bool isEnvVariableSet(const tstring& name) {
    wchar_t probe[1];
    ::SetLastError(ERROR_SUCCESS);
    ::GetEnvironmentVariableW(name.c_str(), probe, 1);
    return ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

void setEnvVariable(const tstring& name, const tstring& value) {
    if (!::SetEnvironmentVariableW(name.c_str(), value.c_str())) {
        VK_THROW_LAST_ERROR(::SetEnvironmentVariableW,
                            "SetEnvironmentVariable(" << name << ", " << value << ") failed");
    }
}

namespace {

using DirectoryQuery = UINT(WINAPI*)(LPWSTR, UINT);

tstring getSystemDirImpl(DirectoryQuery query, const char* label) {
    const std::optional<tstring> directory = fillGrowingBuffer(
        [&](wchar_t* buffer, DWORD capacity) { return query(buffer, capacity); }, MAX_PATH, label, 2);
    if (!directory) {
        VK_THROW_LAST_ERROR(*query, label << " failed");
    }
    return FileUtils::stripTrailingSeparators(*directory);
}

} // namespace

tstring getSystemDir() { return getSystemDirImpl(&::GetSystemDirectoryW, "GetSystemDirectory"); }

tstring getMsiexecPath() {
    return (FileUtils::PathBuilder() << getSystemDir() << L"msiexec.exe").path();
}

namespace {

// The variable GetTempPathW takes the directory from, in its order.
tstring tempDirFromEnvironment() {
    for (const wchar_t* name : {L"TMP", L"TEMP", L"USERPROFILE"}) {
        const tstring value = getEnvVariable(std::nothrow, name, L"");
        if (!value.empty()) {
            return value;
        }
    }
    return tstring();
}

} // namespace

tstring getTempDir() {
    const tstring configured = tempDirFromEnvironment();
    // GetTempPathW would take a relative directory as relative to the current
    // one, and the package would land wherever the setup was started from.
    if (!configured.empty() && !FileUtils::isAbsolutePath(configured)) {
        VK_THROW_MSG("The temporary directory " << configured << " is not an absolute path");
    }
    std::optional<tstring> directory = fillGrowingBuffer(
        [](wchar_t* buffer, DWORD capacity) { return ::GetTempPathW(capacity, buffer); },
        MAX_PATH + 1, "GetTempPath");
    if (!directory) {
        const DWORD error = ::GetLastError();
        // GetTempPathW refuses a directory longer than the classic path limit
        // (under Wine at any buffer size), which the rest of the system
        // handles.
        if (error != ERROR_FILENAME_EXCED_RANGE || configured.empty()) {
            VK_THROW_SYS_ERROR(::GetTempPathW, error, "GetTempPath() failed");
        }
        directory = configured;
    }
    return FileUtils::stripTrailingSeparators(*directory);
}

HINSTANCE__* getCurrentModuleHandle() {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&getCurrentModuleHandle), &module)) {
        VK_THROW_LAST_ERROR(::GetModuleHandleExW, "GetModuleHandleExW failed");
    }
    return module;
}

tstring getModulePath(HMODULE module) {
    // GetModuleFileNameW answers a path that does not fit with the capacity
    // itself, and the buffer doubles.
    const std::optional<tstring> path = fillGrowingBuffer(
        [&](wchar_t* buffer, DWORD capacity) {
            return ::GetModuleFileNameW(module, buffer, capacity);
        },
        MAX_PATH, "GetModuleFileName");
    if (!path) {
        VK_THROW_LAST_ERROR(::GetModuleFileNameW, "GetModuleFileName failed");
    }
    return *path;
}

tstring getProcessModulePath() { return FileUtils::toAbsolutePath(getModulePath(nullptr)); }

tstring getCurrentModulePath() { return getModulePath(getCurrentModuleHandle()); }

} // namespace SysInfo
