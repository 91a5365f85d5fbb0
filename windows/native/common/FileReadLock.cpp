#include "FileReadLock.h"

#include "WinErrorHandling.h"

FileReadLock::FileReadLock(const tstring& path)
    : file_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (!file_) {
        VK_THROW_LAST_ERROR(::CreateFileW, "CreateFile(" << path << ") failed");
    }
}
