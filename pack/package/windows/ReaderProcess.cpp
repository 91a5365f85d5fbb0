#include "ReaderProcess.h"

#include "DamagedFile.h"
#include "FactsMessage.h"
#include "MsiQueries.h"
#include "PathUtils.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <psapi.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// The first byte of the child's answer: what follows is the facts, or the
// reason of a failure (the package's damage, or another).
constexpr char succeeded = 'R';
constexpr char failed = 'F';
constexpr char damaged = 'D';

// As the C runtime splits a command line: backslashes before a quote are
// doubled; a path holds no quote itself.
tstring quoted(const tstring& text) {
    size_t backslashes = 0;
    while (backslashes < text.size() && text[text.size() - 1 - backslashes] == L'\\') {
        ++backslashes;
    }
    return L"\"" + text + tstring(backslashes, L'\\') + L"\"";
}

// As on Linux: a real package of 516 MB is read in a few MiB; a damaged one,
// or one of millions of rows, meets this bound instead of the machine's
// (msi.dll took 1.85 GB for 16 million Property rows).
constexpr SIZE_T memoryLimit = SIZE_T{512} << 20;
// How often the reader's memory is looked at: the job enforces the bound on
// Windows, but Wine's jobs take no memory limit.
constexpr DWORD memoryWatchMilliseconds = 20;

std::string memoryReason() {
    return "it needs more than the " + std::to_string(memoryLimit >> 20) + " MiB of memory that the reader may take";
}

// Exception codes start at 0xC0000000; an exit code there is a crash.
bool isCrash(DWORD exitCode) { return exitCode >= 0xC0000000u; }

std::string hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

void writeAll(HANDLE to, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        DWORD written = 0;
        if (!::WriteFile(to, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0) {
            return;
        }
        done += written;
    }
}

// PROC_THREAD_ATTRIBUTE_JOB_LIST, which the headers give only to programs
// built for Windows 10 on: attribute 13, an input.
constexpr DWORD_PTR jobListAttribute = 13 | 0x20000;

struct AttributeListDeleter {
    void operator()(LPPROC_THREAD_ATTRIBUTE_LIST list) const { ::DeleteProcThreadAttributeList(list); }
};

// The job the reader starts in, from its creation on where the system takes
// that (Windows 10 on; before, it joins right after, still suspended): a
// velkin-pack ended before the reader joined would leave it suspended for
// ever, holding what it inherited (under Wine, the caller's output, for
// which a build or a test run then waits).
class StartAttributes {
public:
    explicit StartAttributes(HANDLE job) : job_(job) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        const auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            VK_THROW_LAST_ERROR(::InitializeProcThreadAttributeList,
                                "Cannot start a package reader: InitializeProcThreadAttributeList() failed");
        }
        list_.reset(list);
        ::UpdateProcThreadAttribute(list, 0, jobListAttribute, &job_, sizeof(job_), nullptr, nullptr);
    }

    LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_.get(); }

private:
    HANDLE job_;
    std::vector<unsigned char> storage_;
    std::unique_ptr<_PROC_THREAD_ATTRIBUTE_LIST, AttributeListDeleter> list_;
};

// The tests end velkin-pack at the moment its reader exists and has not
// started: velkin-pack creates the file this variable names, and waits to be
// ended.
void holdBeforeStartForTests() {
    wchar_t file[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"VELKIN_TEST_HOLD_READER_START", file, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    ::CloseHandle(::CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ::Sleep(INFINITE);
}

// Ends the reader at once on a crash, with the exception as its exit code:
// no dialog, no debugger, and no report of the system's on velkin-pack's
// standard error (Wine writes one there otherwise).
LONG WINAPI endOnCrash(EXCEPTION_POINTERS* exception) {
    ::TerminateProcess(::GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

const wchar_t ReaderProcess::argument[] = L"--velkin-read-package";

ReaderProcess::ReaderProcess(const tstring& path) {
    job_.reset(::CreateJobObjectW(nullptr, nullptr));
    if (!job_) {
        VK_THROW_LAST_ERROR(::CreateJobObjectW, "Cannot start a package reader: CreateJobObject() failed");
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                              JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION |
                                              JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    limits.ProcessMemoryLimit = memoryLimit;
    if (!::SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        VK_THROW_LAST_ERROR(::SetInformationJobObject, "Cannot start a package reader: SetInformationJobObject() failed");
    }

    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle childEnd;
    if (!::CreatePipe(output_.put(), childEnd.put(), &inherited, 0)) {
        VK_THROW_LAST_ERROR(::CreatePipe, "Cannot start a package reader: CreatePipe() failed");
    }
    // Only the child's end goes to the child.
    ::SetHandleInformation(output_.get(), HANDLE_FLAG_INHERIT, 0);

    const StartAttributes attributes(job_.get());
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdOutput = childEnd.get();
    startup.lpAttributeList = attributes.list();
    // velkin-pack.exe is its own reader, under whatever name; another
    // program of the packing layer (its tests) starts the one beside it.
    const tstring self = SysInfo::getProcessModulePath();
    const tstring beside = FileUtils::joinPath(FileUtils::parentPath(self), L"velkin-pack.exe");
    const tstring program = FileUtils::pathExists(beside) ? beside : self;
    tstring commandLine = quoted(program) + L" " + argument + L" " + quoted(path);
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, TRUE,
                          CREATE_SUSPENDED | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                          &startup.StartupInfo, &started)) {
        VK_THROW_LAST_ERROR(::CreateProcessW, "Cannot start a package reader: CreateProcess(" << program << ") failed");
    }
    process_.reset(started.hProcess);
    const UniqueHandle thread(started.hThread);
    childEnd.reset();
    holdBeforeStartForTests();
    BOOL inJob = FALSE;
    if ((!::IsProcessInJob(process_.get(), job_.get(), &inJob) || !inJob) &&
        !::AssignProcessToJobObject(job_.get(), process_.get())) {
        const DWORD error = ::GetLastError();
        ::TerminateProcess(process_.get(), 1);
        VK_THROW_SYS_ERROR(::AssignProcessToJobObject, error,
                           "Cannot start a package reader: AssignProcessToJobObject() failed");
    }
    ::ResumeThread(thread.get());
    // The pipe is emptied as the child fills it: a child with much to say
    // never waits for a reader that waits for it.
    receiver_ = std::thread([this] {
        char chunk[65536];
        DWORD read = 0;
        while (::ReadFile(output_.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) {
            received_.append(chunk, read);
        }
    });
}

ReaderProcess::~ReaderProcess() { end(); }

void ReaderProcess::end() {
    if (process_) {
        ::TerminateJobObject(job_.get(), 1);
        ::WaitForSingleObject(process_.get(), INFINITE);
    }
    // The child's end of the pipe went with it: the receiver has read all.
    if (receiver_.joinable()) {
        receiver_.join();
    }
}

// The most memory the reader has had committed.
SIZE_T ReaderProcess::peakMemory() const {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    return ::GetProcessMemoryInfo(process_.get(), &counters, sizeof(counters)) ? counters.PeakPagefileUsage : 0;
}

std::string ReaderProcess::answer(int timeLimitSeconds) {
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(timeLimitSeconds) * 1000;
    DWORD waited = WAIT_TIMEOUT;
    while (waited == WAIT_TIMEOUT && ::GetTickCount64() < deadline) {
        waited = ::WaitForSingleObject(process_.get(), memoryWatchMilliseconds);
        if (waited == WAIT_TIMEOUT && peakMemory() > memoryLimit) {
            end();
            VK_THROW_MSG(memoryReason());
        }
    }
    const DWORD error = ::GetLastError();
    if (waited != WAIT_OBJECT_0) {
        end();
        if (waited == WAIT_TIMEOUT) {
            VK_THROW_MSG("the reader took longer than " << timeLimitSeconds << " seconds");
        }
        VK_THROW_MSG("the reader cannot be waited for: " << systemErrorDescription(error));
    }
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process_.get(), &exitCode);
    // The job refused it memory (on Windows): whatever became of the reader
    // then, from a crash to a misread package, memory is the cause.
    const bool outOfMemory = peakMemory() > memoryLimit - memoryLimit / 8;
    process_.reset();
    end();
    if (outOfMemory && (isCrash(exitCode) || received_.empty() || received_[0] != succeeded)) {
        VK_THROW_MSG(memoryReason());
    }
    if (isCrash(exitCode)) {
        VK_THROW_MSG("the reader crashed (exception " << hex(exitCode) << ")");
    }
    if (received_.empty() || (received_[0] != succeeded && received_[0] != failed && received_[0] != damaged)) {
        VK_THROW_MSG("the reader ended without an answer");
    }
    if (received_[0] == damaged) {
        VK_THROW_DAMAGED(received_.substr(1));
    }
    if (received_[0] == failed) {
        VK_THROW_MSG(received_.substr(1));
    }
    return received_.substr(1);
}

int runReaderProcess(const tstring& path) {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter(endOnCrash);
    std::string message;
    try {
        message = succeeded + encodeFacts(readWithMsiDll(path));
    } catch (const VkError<DamagedFileError>& e) {
        message = damaged + std::string(e.originalMessage());
    } catch (const VkErrorBase& e) {
        message = failed + std::string(e.originalMessage());
    } catch (const std::bad_alloc&) {
        message = failed + memoryReason();
    } catch (const std::exception& e) {
        message = failed + std::string(e.what());
    }
    writeAll(::GetStdHandle(STD_OUTPUT_HANDLE), message);
    return 0;
}
