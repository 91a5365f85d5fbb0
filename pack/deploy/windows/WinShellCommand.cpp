#include "ShellCommand.h"

#include "ErrorHandling.h"
#include "UniqueHandles.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <algorithm>
#include <vector>

namespace {

// Enough of the signer's standard error to hold its last line.
constexpr size_t errorTail = 4096;

// One of velkin-pack's standard handles, as a copy that the child inherits;
// none when velkin-pack has none.
UniqueHandle inheritable(DWORD which) {
    UniqueHandle copy;
    const HANDLE handle = ::GetStdHandle(which);
    if (isKernelHandle(handle)) {
        ::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), copy.put(), 0, TRUE,
                          DUPLICATE_SAME_ACCESS);
    }
    return copy;
}

// The signer's processes, cmd's and those it starts, in a job that ends them
// when velkin-pack.exe ends while they run (Ctrl+C, a time-out's kill): the
// last handle to it goes with the process. A signer that ends leaves its
// agents running, as on Linux: the job lets them go first.
class SignerJob {
public:
    SignerJob() : job_(::CreateJobObjectW(nullptr, nullptr)) { limit(JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE); }
    ~SignerJob() { limit(0); }
    SignerJob(const SignerJob&) = delete;
    SignerJob& operator=(const SignerJob&) = delete;

    // Where velkin-pack.exe runs in a job that takes no other (before
    // Windows 8), the signer runs outside one, as it did.
    void take(HANDLE process) const {
        if (job_) {
            ::AssignProcessToJobObject(job_.get(), process);
        }
    }

private:
    void limit(DWORD flags) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = flags;
        if (job_) {
            ::SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
        }
    }

    UniqueHandle job_;
};

// Variables set in velkin-pack's environment for as long as a child is
// started, which takes them with the rest; then as they were.
class EnvironmentForChild {
public:
    explicit EnvironmentForChild(const std::map<tstring, tstring>& variables) {
        for (const auto& [name, value] : variables) {
            // 32767 characters at most, and its end.
            std::vector<wchar_t> old(32768);
            ::SetLastError(ERROR_SUCCESS);
            const DWORD length = ::GetEnvironmentVariableW(name.c_str(), old.data(), static_cast<DWORD>(old.size()));
            const bool set = length > 0 || ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
            previous_.push_back({name, set, tstring(old.data(), std::min<size_t>(length, old.size()))});
            ::SetEnvironmentVariableW(name.c_str(), value.c_str());
        }
    }
    ~EnvironmentForChild() {
        for (const Previous& variable : previous_) {
            ::SetEnvironmentVariableW(variable.name.c_str(), variable.set ? variable.value.c_str() : nullptr);
        }
    }
    EnvironmentForChild(const EnvironmentForChild&) = delete;
    EnvironmentForChild& operator=(const EnvironmentForChild&) = delete;

private:
    struct Previous {
        tstring name;
        bool set;
        tstring value;
    };
    std::vector<Previous> previous_;
};

[[noreturn]] void cannotStart(const tstring& what) {
    const DWORD error = ::GetLastError();
    VK_THROW_MSG("Cannot start the sign command (" << what << "): " << systemErrorDescription(error));
}

// Takes what waits in the pipe, without blocking; false once every writer
// has closed it.
bool readAvailable(HANDLE pipe, std::string& tail) {
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
            return false;
        }
        if (available == 0) {
            return true;
        }
        char buffer[4096];
        DWORD read = 0;
        if (!::ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof(buffer)), &read, nullptr) || read == 0) {
            return false;
        }
        tail.append(buffer, read);
        if (tail.size() > 2 * errorTail) {
            tail.erase(0, tail.size() - errorTail);
        }
    }
}

// Reads the child's standard error until the child ends, not until the
// pipe ends: a process it leaves behind (an agent) may hold the pipe for as
// long as it lives. An anonymous pipe cannot be waited on, so it is looked
// at now and then.
bool waitReading(HANDLE process, HANDLE errors, std::string& tail) {
    bool pipeOpen = true;
    for (;;) {
        const DWORD waited = ::WaitForSingleObject(process, pipeOpen ? 50 : INFINITE);
        if (waited == WAIT_FAILED) {
            return false;
        }
        if (pipeOpen) {
            pipeOpen = readAvailable(errors, tail);
        }
        if (waited == WAIT_OBJECT_0) {
            return true;
        }
    }
}

} // namespace

namespace ShellCommand {

// File names hold no quotes, and cmd takes what is between two as one word;
// but it expands %NAME% there too (a TEMP of C:\Temp\%OS%). Each % stands
// alone between quotes, "%", where it starts the name of a variable that
// cannot be set ("OS"): cmd leaves it, and the program's own reading of its
// command line joins the pieces (backslashes before a quote doubled, as it
// reads them).
tstring quoteWithin(const tstring& path) {
    tstring quoted;
    size_t backslashes = 0;
    for (const wchar_t c : path) {
        if (c == L'%') {
            quoted.append(backslashes, L'\\');
            quoted += L"\"%\"";
        } else {
            quoted += c;
        }
        backslashes = c == L'\\' ? backslashes + 1 : 0;
    }
    return quoted.append(backslashes, L'\\');
}

tstring quote(const tstring& path) { return L"\"" + quoteWithin(path) + L"\""; }

Outcome run(const tstring& commandLine, const std::map<tstring, tstring>& variables) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle errorsRead;
    UniqueHandle errorsWrite;
    if (!::CreatePipe(errorsRead.put(), errorsWrite.put(), &inherited, 64 * 1024) ||
        !::SetHandleInformation(errorsRead.get(), HANDLE_FLAG_INHERIT, 0)) {
        cannotStart(L"a pipe");
    }
    const UniqueHandle input = inheritable(STD_INPUT_HANDLE);
    // Its output is no part of velkin-pack's: it goes where velkin-pack's
    // messages go.
    const UniqueHandle output = inheritable(STD_ERROR_HANDLE);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = errorsWrite.get();

    // /s: cmd takes the command as it is between the outer quotes; /d: no
    // AutoRun commands from the registry.
    const tstring shell = FileUtils::joinPath(SysInfo::getSystemDir(), L"cmd.exe");
    tstring line = L"\"" + shell + L"\" /d /s /c \"" + commandLine + L"\"";
    std::vector<wchar_t> writable(line.begin(), line.end());
    writable.push_back(L'\0');
    PROCESS_INFORMATION started{};
    const SignerJob job;
    {
        const EnvironmentForChild environment(variables);
        // Suspended until it is in the job, so that whatever it starts is
        // too.
        if (!::CreateProcessW(shell.c_str(), writable.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                              nullptr, &startup, &started)) {
            cannotStart(shell);
        }
    }
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    job.take(process.get());
    ::ResumeThread(thread.get());
    errorsWrite.reset();

    std::string tail;
    DWORD code = 0;
    if (!waitReading(process.get(), errorsRead.get(), tail) || !::GetExitCodeProcess(process.get(), &code)) {
        const DWORD error = ::GetLastError();
        VK_THROW_MSG("Cannot wait for the sign command: " << systemErrorDescription(error));
    }
    return Outcome{true, static_cast<int>(code), lastLine(tail), 0};
}

} // namespace ShellCommand
