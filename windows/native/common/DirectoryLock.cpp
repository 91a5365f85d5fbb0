#include "DirectoryLock.h"

#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WindowsApi.h"

std::optional<DirectoryLock> DirectoryLock::take(const tstring& path, Purpose purpose) {
    // A claim asks for the right to add to the directory, which no lock
    // shares; so a claim excludes every other lock, whichever came first.
    // Neither asks for deletion, and neither shares it: a directory search
    // (which the clean-up needs) shares no deletion under Wine. (The system
    // checks sharing only for opens that ask for more than attributes.)
    const DWORD access = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES |
                         (purpose == Purpose::Remove ? FILE_ADD_FILE | READ_CONTROL : 0);
    UniqueHandle handle(::CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
    if (!handle) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(handle.get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ::SetLastError(ERROR_DIRECTORY);
        return std::nullopt;
    }
    return DirectoryLock(std::move(handle));
}

void DirectoryLock::releaseAndRemove(const tstring& path) {
    handle_.reset();
    FileUtils::deleteDirectory(path);
}
