#include "Executor.h"

#include "Log.h"
#include "UniqueHandles.h"
#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

tstring quote(const tstring& item) {
    const bool alreadyQuoted = item.size() >= 2 && item.front() == L'"' && item.back() == L'"';
    if (item.empty() || alreadyQuoted || item.find_first_of(L" \t") == tstring::npos) {
        return item;
    }
    return L"\"" + item + L"\"";
}

// PROC_THREAD_ATTRIBUTE_JOB_LIST, which the headers give only to programs
// built for Windows 10 on: attribute 13, an input.
constexpr DWORD_PTR jobListAttribute = 13 | 0x20000;

// CreateProcessW takes at most 32,767 characters, its terminator included.
constexpr size_t maxCommandLineLength = 32766;

struct AttributeListDeleter {
    void operator()(LPPROC_THREAD_ATTRIBUTE_LIST list) const { ::DeleteProcThreadAttributeList(list); }
};

// Until the child runs, it belongs to a job that ends it with this process.
// A setup ended between the child's creation and its start would otherwise
// leave it suspended for ever, holding the lock on the private directory, so
// that no sweep removes the package. Once it runs, the job lets it go: a
// running msiexec outlives an ended setup.
class StartGuard {
public:
    StartGuard() : job_(::CreateJobObjectW(nullptr, nullptr)) {
        if (!job_) {
            VK_THROW_LAST_ERROR(::CreateJobObjectW, "CreateJobObject() failed");
        }
        limit(JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE);
    }

    HANDLE job() const { return job_.get(); }

    void release() { limit(0); }

private:
    void limit(DWORD flags) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = flags;
        if (!::SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
            VK_THROW_LAST_ERROR(::SetInformationJobObject, "SetInformationJobObject() failed");
        }
    }

    UniqueHandle job_;
};

// What a child starts with: the handles it inherits, and only those
// (inheritable copies of them; the originals are never inherited by anyone
// else), and the job it belongs to from its creation on, where the system
// takes that (Windows 10 on; before, it joins right after).
class StartAttributes {
public:
    StartAttributes(const std::vector<void*>& handles, HANDLE job) : job_(job) {
        for (void* handle : handles) {
            UniqueHandle& copy = copies_.emplace_back();
            if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), copy.put(), 0, TRUE,
                                   DUPLICATE_SAME_ACCESS)) {
                VK_THROW_LAST_ERROR(::DuplicateHandle, "DuplicateHandle() failed");
            }
            values_.push_back(copy.get());
        }
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 2, 0, &size);
        storage_.resize(size);
        const auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!::InitializeProcThreadAttributeList(list, 2, 0, &size)) {
            VK_THROW_LAST_ERROR(::InitializeProcThreadAttributeList,
                                "InitializeProcThreadAttributeList() failed");
        }
        list_.reset(list);
        if (!values_.empty() &&
            !::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, values_.data(),
                                         values_.size() * sizeof(HANDLE), nullptr, nullptr)) {
            VK_THROW_LAST_ERROR(::UpdateProcThreadAttribute, "UpdateProcThreadAttribute() failed");
        }
        // Refused before Windows 10: the child then joins once created.
        ::UpdateProcThreadAttribute(list, 0, jobListAttribute, &job_, sizeof(job_), nullptr, nullptr);
    }

    LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_.get(); }
    bool inherits() const { return !values_.empty(); }

private:
    std::vector<UniqueHandle> copies_;
    std::vector<HANDLE> values_;
    HANDLE job_;
    std::vector<unsigned char> storage_;
    std::unique_ptr<_PROC_THREAD_ATTRIBUTE_LIST, AttributeListDeleter> list_;
};

// The tests end a setup at the moment its child exists and has not started:
// the setup creates the file this variable names, and waits to be ended.
void holdBeforeStartForTests() {
    wchar_t file[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"VELKIN_TEST_HOLD_BEFORE_START", file, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    ::CloseHandle(::CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ::Sleep(INFINITE);
}

UniqueHandle startProcess(const tstring& appPath, const tstring& commandLine, bool visible,
                          const std::vector<void*>& passedHandles) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    StartGuard guard;
    const StartAttributes attributes(passedHandles, guard.job());
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.lpAttributeList = attributes.list();
    DWORD creationFlags = EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED;
    if (!visible) {
        startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
        startup.StartupInfo.wShowWindow = SW_HIDE;
        creationFlags |= CREATE_NO_WINDOW;
    }
    PROCESS_INFORMATION process{};

    tstrings::TextBuilder message("CreateProcess(");
    message << appPath << ", " << commandLine << ")";
    if (!::CreateProcessW(appPath.c_str(), buffer.data(), nullptr, nullptr, attributes.inherits() ? TRUE : FALSE,
                          creationFlags, nullptr, nullptr, &startup.StartupInfo, &process)) {
        VK_THROW_LAST_ERROR(::CreateProcessW, message << " failed");
    }
    const UniqueHandle thread(process.hThread);
    UniqueHandle child(process.hProcess);
    // Where no job can be joined (a setup inside a job of its own, before
    // Windows 8), the child starts unguarded, as it always did.
    BOOL inJob = FALSE;
    if ((!::IsProcessInJob(child.get(), guard.job(), &inJob) || !inJob) &&
        !::AssignProcessToJobObject(guard.job(), child.get())) {
        VK_TRACE("The child runs outside a job: AssignProcessToJobObject() failed with " << ::GetLastError());
    }
    holdBeforeStartForTests();
    ::ResumeThread(thread.get());
    guard.release();
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

// Windows would cut it short, or refuse it with a reason that names nothing
// the user typed.
void Executor::checkLength() const {
    const size_t length = commandLine().size();
    if (length > maxCommandLineLength) {
        VK_THROW_MSG("The command line for " << appPath_ << " is too long: " << length
                                             << " characters, of at most " << maxCommandLineLength);
    }
}

uint32_t Executor::execAndWaitForExit() const {
    checkLength();
    const UniqueHandle process = startProcess(appPath_, commandLine(), visible_, passedHandles_);
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
