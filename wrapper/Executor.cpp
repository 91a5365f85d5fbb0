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

// CreateProcessW takes at most 32,767 characters, its terminator included.
constexpr size_t maxCommandLineLength = 32766;

struct AttributeListDeleter {
    void operator()(LPPROC_THREAD_ATTRIBUTE_LIST list) const { ::DeleteProcThreadAttributeList(list); }
};

// The handles a child inherits, and only those: inheritable copies of them,
// named in the attributes of its start. The originals are never inherited by
// anyone else.
class InheritedHandles {
public:
    explicit InheritedHandles(const std::vector<void*>& handles) {
        for (void* handle : handles) {
            UniqueHandle& copy = copies_.emplace_back();
            if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), copy.put(), 0, TRUE,
                                   DUPLICATE_SAME_ACCESS)) {
                VK_THROW_LAST_ERROR(::DuplicateHandle, "DuplicateHandle() failed");
            }
            values_.push_back(copy.get());
        }
        if (values_.empty()) {
            return;
        }
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        const auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            VK_THROW_LAST_ERROR(::InitializeProcThreadAttributeList,
                                "InitializeProcThreadAttributeList() failed");
        }
        list_.reset(list);
        if (!::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, values_.data(),
                                         values_.size() * sizeof(HANDLE), nullptr, nullptr)) {
            VK_THROW_LAST_ERROR(::UpdateProcThreadAttribute, "UpdateProcThreadAttribute() failed");
        }
    }

    // Null when there is nothing to inherit.
    LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_.get(); }

private:
    std::vector<UniqueHandle> copies_;
    std::vector<HANDLE> values_;
    std::vector<unsigned char> storage_;
    std::unique_ptr<_PROC_THREAD_ATTRIBUTE_LIST, AttributeListDeleter> list_;
};

UniqueHandle startProcess(const tstring& appPath, const tstring& commandLine, bool visible,
                          const std::vector<void*>& passedHandles) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    const InheritedHandles inherited(passedHandles);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = inherited.list() ? sizeof(startup) : sizeof(startup.StartupInfo);
    startup.lpAttributeList = inherited.list();
    DWORD creationFlags = inherited.list() ? EXTENDED_STARTUPINFO_PRESENT : 0;
    if (!visible) {
        startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
        startup.StartupInfo.wShowWindow = SW_HIDE;
        creationFlags |= CREATE_NO_WINDOW;
    }
    PROCESS_INFORMATION process{};

    tstrings::TextBuilder message("CreateProcess(");
    message << appPath << ", " << commandLine << ")";
    if (!::CreateProcessW(appPath.c_str(), buffer.data(), nullptr, nullptr,
                          inherited.list() ? TRUE : FALSE, creationFlags, nullptr, nullptr,
                          &startup.StartupInfo, &process)) {
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
