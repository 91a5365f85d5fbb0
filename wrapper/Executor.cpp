#include "Executor.h"

#include "Log.h"
#include "UniqueHandles.h"
#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <algorithm>
#include <vector>

namespace {

tstring quote(const tstring& item) {
    const bool alreadyQuoted = item.size() >= 2 && item.front() == L'"' && item.back() == L'"';
    if (item.empty() || alreadyQuoted || item.find_first_of(L" \t") == tstring::npos) {
        return item;
    }
    return L"\"" + item + L"\"";
}

// CreateProcessW takes at most 32,767 characters, its terminator included.
constexpr size_t maxCommandLineLength = 32766;

UniqueHandle startProcess(const tstring& appPath, const tstring& commandLine, bool visible) {
    // Windows would cut it short, or refuse it with a reason that names
    // nothing the user typed.
    if (commandLine.size() > maxCommandLineLength) {
        VK_THROW_MSG("The command line for " << appPath << " is too long: " << commandLine.size()
                                             << " characters, of at most " << maxCommandLineLength);
    }
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    DWORD creationFlags = 0;
    if (!visible) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        creationFlags = CREATE_NO_WINDOW;
    }
    PROCESS_INFORMATION process{};

    tstrings::TextBuilder message("CreateProcess(");
    message << appPath << ", " << commandLine << ")";
    if (!::CreateProcessW(appPath.c_str(), buffer.data(), nullptr, nullptr, FALSE, creationFlags,
                          nullptr, nullptr, &startup, &process)) {
        VK_THROW_LAST_ERROR(::CreateProcessW, message << " failed");
    }
    const UniqueHandle thread(process.hThread);
    UniqueHandle child(process.hProcess);
    VK_TRACE(message << " succeeded; PID=" << static_cast<uint32_t>(process.dwProcessId));
    return child;
}

} // namespace

tstring Executor::commandLine() const {
    tstring_array items{appPath_};
    items.insert(items.end(), args_.begin(), args_.end());
    std::transform(items.begin(), items.end(), items.begin(), quote);
    if (!verbatim_.empty()) {
        items.push_back(verbatim_);
    }
    return tstrings::join(items, L" ");
}

uint32_t Executor::execAndWaitForExit() const {
    const UniqueHandle process = startProcess(appPath_, commandLine(), visible_);
    if (::WaitForSingleObject(process.get(), INFINITE) == WAIT_FAILED) {
        VK_THROW_LAST_ERROR(::WaitForSingleObject, "WaitForSingleObject() failed");
    }
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(process.get(), &exitCode)) {
        VK_THROW_LAST_ERROR(::GetExitCodeProcess, "GetExitCodeProcess() failed");
    }
    const DWORD processId = ::GetProcessId(process.get());
    if (processId == 0) {
        VK_THROW_LAST_ERROR(::GetProcessId, "GetProcessId() failed.");
    }
    VK_TRACE("Process with PID=" << static_cast<uint32_t>(processId)
                                 << " terminated. Exit code=" << static_cast<uint32_t>(exitCode));
    return exitCode;
}
