#include "WinSysInfo.h"

#include "CommandLine.h"
#include "PathUtils.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "UniqueHandles.h"
#include "WindowsApi.h"

#include <vector>

namespace SysInfo {

namespace {

tstring textUpToNul(const std::vector<wchar_t>& buffer) {
    return tstring(buffer.data());
}

} // namespace

tstring_array getCommandArgs(ProgramPathMode mode) {
    const tstring line = ::GetCommandLineW();
    tstring_array result = CommandLine::splitArguments(line);
    if (mode != DropProgramPath) {
        result.insert(result.begin(), CommandLine::programName(line));
    }
    return result;
}

tstring getCommandLineArguments() { return CommandLine::argumentsText(::GetCommandLineW()); }

// `failed` is null for the throwing form.
tstring getEnvVariableImpl(const tstring& name, bool* failed) {
    std::vector<wchar_t> buffer(10, L'\0');
    ::SetLastError(ERROR_SUCCESS);
    const DWORD size = ::GetEnvironmentVariableW(name.c_str(), buffer.data(),
                                                 static_cast<DWORD>(buffer.size()));
    if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        if (!failed) {
            VK_THROW_LAST_ERROR(::GetEnvironmentVariableW,
                                "GetEnvironmentVariable(" << name << ") failed. Variable not set");
        }
        *failed = true;
        return tstring();
    }
    if (size > buffer.size()) {
        buffer.resize(size, L'\0');
        ::GetEnvironmentVariableW(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (::GetLastError() != ERROR_SUCCESS) {
            if (!failed) {
                VK_THROW_LAST_ERROR(::GetEnvironmentVariableW,
                                    "GetEnvironmentVariable(" << name << ") failed");
            }
            *failed = true;
            return tstring();
        }
    }
    if (failed) {
        *failed = false;
    }
    return textUpToNul(buffer);
}

tstring getEnvVariable(const tstring& name) { return getEnvVariableImpl(name, nullptr); }

tstring getEnvVariable(const std::nothrow_t&, const tstring& name, const tstring& defaultValue) {
    bool failed = false;
    const tstring value = getEnvVariableImpl(name, &failed);
    return failed ? defaultValue : value;
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

} // namespace

tstring getSystemDirImpl(DirectoryQuery query, const char* label) {
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    for (int pass = 0; pass < 2; ++pass) {
        const UINT size = query(buffer.data(), static_cast<UINT>(buffer.size()));
        if (size == 0) {
            VK_THROW_LAST_ERROR(*query, label << " failed");
        }
        if (size < buffer.size()) {
            return FileUtils::stripTrailingSeparators(textUpToNul(buffer));
        }
        buffer.assign(size + 1, L'\0');
    }
    VK_THROW_MSG("Unexpected reply from " << label);
}

tstring getSystemDir() { return getSystemDirImpl(&::GetSystemDirectoryW, "GetSystemDirectory"); }

tstring getMsiexecPath() {
    return (FileUtils::PathBuilder() << getSystemDir() << L"msiexec.exe").path();
}

namespace {

// GetTempPathW refuses a directory longer than the classic path limit (under
// Wine at any buffer size), which the rest of the system handles. So it is
// read where GetTempPathW reads it, in the same order.
tstring longTempDirFromEnvironment() {
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
    std::vector<wchar_t> buffer(MAX_PATH + 1, L'\0');
    tstring directory;
    for (int pass = 0; pass < 3 && directory.empty(); ++pass) {
        const DWORD size = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (size == 0) {
            const DWORD error = ::GetLastError();
            directory = error == ERROR_FILENAME_EXCED_RANGE ? longTempDirFromEnvironment() : tstring();
            if (directory.empty()) {
                VK_THROW_SYS_ERROR(::GetTempPathW, error, "GetTempPath() failed");
            }
        } else if (size < buffer.size()) {
            directory = textUpToNul(buffer);
        } else {
            buffer.assign(size + 1, L'\0');
        }
    }
    if (directory.empty()) {
        VK_THROW_MSG("Unexpected reply from GetTempPath");
    }
    // A relative directory would put the package wherever the setup was
    // started from.
    if (!FileUtils::isAbsolutePath(directory)) {
        VK_THROW_MSG("The temporary directory " << directory << " is not an absolute path");
    }
    return FileUtils::stripTrailingSeparators(directory);
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
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    DWORD length = 0;
    for (;;) {
        length = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) {
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    if (length == 0) {
        VK_THROW_LAST_ERROR(::GetModuleFileNameW, "GetModuleFileName failed");
    }
    return tstring(buffer.data(), length);
}

tstring getProcessModulePath() { return FileUtils::toAbsolutePath(getModulePath(nullptr)); }

tstring getCurrentModulePath() { return getModulePath(getCurrentModuleHandle()); }

} // namespace SysInfo
