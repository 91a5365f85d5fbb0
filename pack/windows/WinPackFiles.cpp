#include "PackFiles.h"

#include "ErrorHandling.h"
#include "PathUtils.h"
#include "UniqueHandles.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <ntsecapi.h>

#include <algorithm>
#include <vector>

struct InputFile::Handle {
    UniqueHandle file;
};

struct StagedOutput::Handle {
    UniqueHandle file;
    tstring staging;
    bool published = false;
};

namespace {

// One call reads or writes at most 4 GiB - 1; copies go through a buffer.
constexpr size_t maxCall = size_t{1} << 30;
constexpr size_t copyChunk = 1024 * 1024;

OVERLAPPED at(uint64_t offset) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

std::wstring reason(DWORD code) { return systemErrorDescription(code); }

void readAt(HANDLE file, const tstring& path, uint64_t offset, void* buffer, size_t size) {
    auto* next = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min(size, maxCall));
        OVERLAPPED position = at(offset);
        DWORD read = 0;
        if (!::ReadFile(file, next, chunk, &read, &position)) {
            const DWORD error = ::GetLastError();
            VK_THROW_MSG("Cannot read " << path << ": " << reason(error));
        }
        if (read == 0) {
            VK_THROW_MSG("Cannot read " << path << ": it ends before " << offset + size << " bytes");
        }
        next += read;
        offset += read;
        size -= read;
    }
}

void writeAt(HANDLE file, const tstring& path, uint64_t offset, const void* data, size_t size) {
    const auto* next = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min(size, maxCall));
        OVERLAPPED position = at(offset);
        DWORD written = 0;
        if (!::WriteFile(file, next, chunk, &written, &position) || written == 0) {
            const DWORD error = written == 0 && ::GetLastError() == ERROR_SUCCESS ? ERROR_WRITE_FAULT
                                                                                   : ::GetLastError();
            VK_THROW_MSG("Cannot write " << path << ": " << reason(error));
        }
        next += written;
        offset += written;
        size -= written;
    }
}

uint64_t sizeOf(HANDLE file, const tstring& path) {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file, &size)) {
        const DWORD error = ::GetLastError();
        VK_THROW_MSG("Cannot read " << path << ": " << reason(error));
    }
    return static_cast<uint64_t>(size.QuadPart);
}

// A name no other run picks: 16 hex digits from the system's random source.
tstring randomName() {
    uint64_t value = 0;
    if (!::RtlGenRandom(&value, sizeof(value))) {
        VK_THROW_MSG("The system's random source failed");
    }
    return tstrings::format(L"vkt%016llx.tmp", static_cast<unsigned long long>(value));
}

// While the staging file is marked for deletion, the system removes it when
// its last handle closes: when this process ends, however it ends.
bool markForDeletion(HANDLE file, bool deleteOnClose) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleteOnClose ? TRUE : FALSE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

} // namespace

InputFile::InputFile(const tstring& path) : path_(path), handle_(std::make_unique<Handle>()) {
    handle_->file.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle_->file) {
        const DWORD error = ::GetLastError();
        VK_THROW_MSG("Cannot read " << path << ": " << reason(error));
    }
}

InputFile::~InputFile() = default;

uint64_t InputFile::size() const { return sizeOf(handle_->file.get(), path_); }

void InputFile::read(uint64_t offset, void* buffer, size_t size) const {
    readAt(handle_->file.get(), path_, offset, buffer, size);
}

StagedOutput::StagedOutput(const tstring& output)
    : output_(FileUtils::toAbsolutePath(output)), handle_(std::make_unique<Handle>()) {
    if (FileUtils::isDirectory(output_)) {
        VK_THROW_MSG("The output " << output_ << " is a directory");
    }
    const tstring directory = FileUtils::parentPath(output_);
    // A name that is taken (CREATE_NEW answers "file exists") moves on to
    // another; any other failure is the directory's.
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 16 && error == ERROR_FILE_EXISTS; ++attempt) {
        handle_->staging = FileUtils::joinPath(directory, randomName());
        handle_->file.reset(::CreateFileW(handle_->staging.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                          nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        error = handle_->file ? ERROR_SUCCESS : ::GetLastError();
    }
    if (!handle_->file) {
        VK_THROW_MSG("Cannot write to the directory of " << output_ << ": " << reason(error));
    }
    if (!markForDeletion(handle_->file.get(), true)) {
        error = ::GetLastError();
        handle_->file.reset();
        FileUtils::deleteFile(handle_->staging, std::nothrow);
        VK_THROW_MSG("Cannot write to the directory of " << output_ << ": " << reason(error));
    }
}

StagedOutput::~StagedOutput() {
    if (!handle_->published && handle_->file) {
        // Closing removes it; if the mark was taken back, the name goes too.
        markForDeletion(handle_->file.get(), true);
    }
}

void StagedOutput::write(uint64_t offset, const void* data, size_t size) {
    writeAt(handle_->file.get(), handle_->staging, offset, data, size);
}

void StagedOutput::copy(const InputFile& source, uint64_t sourceOffset, uint64_t offset, uint64_t size) {
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(copyChunk, size)));
    for (uint64_t done = 0; done < size;) {
        const size_t part = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - done));
        source.read(sourceOffset + done, chunk.data(), part);
        write(offset + done, chunk.data(), part);
        done += part;
    }
}

uint64_t StagedOutput::size() const { return sizeOf(handle_->file.get(), handle_->staging); }

void StagedOutput::read(uint64_t offset, void* buffer, size_t size) const {
    readAt(handle_->file.get(), handle_->staging, offset, buffer, size);
}

void StagedOutput::publish() {
    const HANDLE file = handle_->file.get();
    const tstring& target = output_;
    std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::copy(target.begin(), target.end(), rename->FileName);
    if (!markForDeletion(file, false) ||
        !::SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
        const DWORD error = ::GetLastError();
        VK_THROW_MSG("Cannot write " << output_ << ": " << reason(error));
    }
    handle_->published = true;
    handle_->file.reset();
}

namespace PackFiles {

bool exists(const tstring& path) { return FileUtils::pathExists(path); }

bool isDirectory(const tstring& path) { return FileUtils::isDirectory(path); }

bool isSameFile(const tstring& a, const tstring& b) { return FileUtils::isSameFile(a, b); }

tstring defaultStub() {
    return FileUtils::joinPath(FileUtils::parentPath(SysInfo::getProcessModulePath()), L"velkin-setup.exe");
}

} // namespace PackFiles
