#include "StagedFileWriter.h"

#include "Log.h"
#include "PathUtils.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

// While the staging file is marked, the system removes it when its last
// handle closes: when the writer goes unfinished, or when the process ends,
// killed or not.
bool markForDeletion(HANDLE file, bool deleteOnClose) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleteOnClose ? TRUE : FALSE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                        sizeof(disposition)) != FALSE;
}

[[noreturn]] void throwMarkFailed(const tstring& staging, DWORD error) {
    VK_THROW_SYS_ERROR(::SetFileInformationByHandle, error,
                       "SetFileInformationByHandle(" << staging << ", FileDispositionInfo) failed");
}

// By the handle that wrote it: nobody can put another file under the staging
// name between the check and the rename.
bool renameTo(HANDLE file, const tstring& target) {
    std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::copy(target.begin(), target.end(), rename->FileName);
    return ::SetFileInformationByHandle(file, FileRenameInfo, rename,
                                        static_cast<DWORD>(buffer.size())) != FALSE;
}

} // namespace

StagedFileWriter::StagedFileWriter(const tstring& destination) : destination_(destination) {
    // A new file, never an old one truncated: ext4 takes a truncated file for
    // one being replaced and flushes the whole content to disk at close.
    stagingPath_ =
        FileUtils::createTempFile(FileUtils::velkinTempPrefix, FileUtils::velkinTempSuffix,
                                 FileUtils::parentPath(destination_), file_);
    if (!markForDeletion(file_.get(), true)) {
        const DWORD error = ::GetLastError();
        file_.reset();
        FileUtils::deleteFile(stagingPath_, std::nothrow);
        throwMarkFailed(stagingPath_, error);
    }
}

StagedFileWriter::~StagedFileWriter() {
    if (file_) {
        // Again, in case finish() took the mark back and then failed.
        markForDeletion(file_.get(), true);
    }
}

void StagedFileWriter::checkOpen() const {
    if (!file_) {
        VK_THROW_MSG("Writing " << stagingPath_ << " after it was finished");
    }
}

StagedFileWriter& StagedFileWriter::write(const void* data, size_t size) {
    writeAt(end_, data, size);
    return *this;
}

void StagedFileWriter::writeAt(uint64_t offset, const void* data, size_t size) {
    checkOpen();
    // At the file pointer, not at an offset given with each call: under Wine
    // every such call is also a request to its server (a completion report
    // that nobody waits for), which made a copy in 64 KiB pieces four times
    // as slow.
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(file_.get(), position, nullptr, FILE_BEGIN)) {
        VK_THROW_LAST_ERROR(::SetFilePointerEx, "SetFilePointerEx(" << stagingPath_ << ") failed");
    }
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min(size, pieceSize));
        DWORD written = 0;
        if (!::WriteFile(file_.get(), next, chunk, &written, nullptr)) {
            VK_THROW_LAST_ERROR(::WriteFile, "WriteFile(" << stagingPath_ << ") failed");
        }
        if (written == 0) {
            VK_THROW_SYS_ERROR(::WriteFile, ERROR_WRITE_FAULT,
                               "WriteFile(" << stagingPath_ << ") wrote nothing");
        }
        next += written;
        offset += written;
        size -= written;
    }
    end_ = std::max(end_, offset);
}

void StagedFileWriter::finish() {
    checkOpen();
    // A file marked for deletion takes no new name.
    if (!markForDeletion(file_.get(), false)) {
        throwMarkFailed(stagingPath_, ::GetLastError());
    }
    if (!renameTo(file_.get(), destination_)) {
        VK_THROW_LAST_ERROR(::SetFileInformationByHandle,
                            "SetFileInformationByHandle(" << stagingPath_ << ", FileRenameInfo, "
                                                          << destination_ << ") failed");
    }
    file_.reset();
    VK_TRACE("Moved" << " '" << stagingPath_ << "' file to '" << destination_ << "'");
}
