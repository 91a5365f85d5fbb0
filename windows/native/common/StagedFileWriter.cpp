#include "StagedFileWriter.h"

#include "PathUtils.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"

#include <algorithm>

StagedFileWriter::StagedFileWriter(const tstring& destination)
    : stagingPath_(FileUtils::createTempFile(L"vkt", L".tmp", FileUtils::parentPath(destination))),
      destination_(destination) {
    cleanup_.scheduleFile(stagingPath_);
    // The file is new and empty. Truncating it would cost a flush of the
    // whole content to disk at close on some Linux file systems (ext4 takes
    // a truncated file for one being replaced).
    file_.reset(::CreateFileW(stagingPath_.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        VK_THROW_LAST_ERROR(::CreateFileW, "CreateFile(" << stagingPath_ << ") failed");
    }
}

StagedFileWriter& StagedFileWriter::write(const void* data, size_t size) {
    if (!file_) {
        VK_THROW_MSG("Writing " << stagingPath_ << " after it was finished");
    }
    // One call writes at most 4 GiB - 1; a round gigabyte keeps the calls few.
    constexpr size_t maxChunk = size_t{1} << 30;
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min(size, maxChunk));
        DWORD written = 0;
        if (!::WriteFile(file_.get(), next, chunk, &written, nullptr)) {
            VK_THROW_LAST_ERROR(::WriteFile, "WriteFile(" << stagingPath_ << ") failed");
        }
        if (written == 0) {
            VK_THROW_SYS_ERROR(::WriteFile, ERROR_WRITE_FAULT,
                               "WriteFile(" << stagingPath_ << ") wrote nothing");
        }
        next += written;
        size -= written;
    }
    return *this;
}

void StagedFileWriter::finish() {
    if (!::CloseHandle(file_.release())) {
        VK_THROW_LAST_ERROR(::CloseHandle, "CloseHandle(" << stagingPath_ << ") failed");
    }
    FileUtils::moveFile(stagingPath_, destination_, false);
    cleanup_.cancel();
}
