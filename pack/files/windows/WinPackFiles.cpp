#include "PackFiles.h"

#include "ErrorHandling.h"
#include "PathUtils.h"
#include "StagedFileWriter.h"
#include "UniqueHandles.h"
#include "WinDirectoryWalk.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <algorithm>
#include <vector>

struct InputFile::Handle {
    UniqueHandle file;
};

struct StagedOutput::Handle {
    explicit Handle(const tstring& output) : staged(output) {}

    StagedFileWriter staged;
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

uint64_t sizeOf(HANDLE file, const tstring& path) {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file, &size)) {
        const DWORD error = ::GetLastError();
        VK_THROW_MSG("Cannot read " << path << ": " << reason(error));
    }
    return static_cast<uint64_t>(size.QuadPart);
}

// A step of the staging file's, its failure told as a sentence for the user:
// `failure` and the system's reason.
template <class Step>
void telling(const tstring& failure, Step step) {
    try {
        step();
    } catch (const SysError& e) {
        VK_THROW_MSG(failure << ": " << reason(e.getCode()));
    }
}

// What an open handle is, in words for a sentence; empty for a file on a
// disk.
const wchar_t* kindOf(HANDLE handle) {
    switch (::GetFileType(handle)) {
    case FILE_TYPE_DISK:
        return L"";
    case FILE_TYPE_CHAR:
        return L"a device";
    case FILE_TYPE_PIPE:
        return L"a pipe";
    default:
        return L"no file";
    }
}

// The system's file functions take paths of MAX_PATH characters at most in
// the ordinary form (unless the machine allows more); a longer one is handed
// to them in the verbatim form, which they take at any length.
tstring systemForm(const tstring& path) {
    if (!FileUtils::needsVerbatimForm(path)) {
        return path;
    }
    return FileUtils::verbatimForm(FileUtils::toAbsolutePath(path));
}

} // namespace

InputFile::InputFile(const tstring& path) : path_(path), handle_(std::make_unique<Handle>()) {
    handle_->file.reset(::CreateFileW(systemForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle_->file) {
        const DWORD error = ::GetLastError();
        VK_THROW_MSG("Cannot read " << path << ": " << reason(error));
    }
    const tstring kind = kindOf(handle_->file.get());
    if (!kind.empty()) {
        VK_THROW_MSG("Cannot read " << path << ": it is " << kind << ", not a regular file");
    }
}

InputFile::~InputFile() = default;

uint64_t InputFile::size() const { return sizeOf(handle_->file.get(), path_); }

void InputFile::read(uint64_t offset, void* buffer, size_t size) const {
    readAt(handle_->file.get(), path_, offset, buffer, size);
}

void InputFile::visit(uint64_t offset, uint64_t size,
                      const std::function<void(uint64_t, const uint8_t*, size_t)>& visitor) const {
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(copyChunk, size)));
    for (uint64_t done = 0; done < size;) {
        const size_t part = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - done));
        read(offset + done, chunk.data(), part);
        visitor(offset + done, chunk.data(), part);
        done += part;
    }
}

StagedOutput::StagedOutput(const tstring& output) : output_(FileUtils::toAbsolutePath(output)) {
    const tstring kind = PackFiles::nonFileKind(output_);
    if (!kind.empty()) {
        VK_THROW_MSG("The output " << output_ << " is " << kind << ", not a regular file");
    }
    telling(L"Cannot write to the directory of " + output_,
            [&] { handle_ = std::make_unique<Handle>(systemForm(output_)); });
}

StagedOutput::~StagedOutput() = default;

void StagedOutput::write(uint64_t offset, const void* data, size_t size) {
    StagedFileWriter& staged = handle_->staged;
    // Named as the user named it: the staging file is no name of theirs.
    telling(L"Cannot write " + output_, [&] { staged.writeAt(offset, data, size); });
}

void StagedOutput::copy(const InputFile& source, uint64_t sourceOffset, uint64_t offset, uint64_t size) {
    source.visit(sourceOffset, size, [&](uint64_t at, const uint8_t* bytes, size_t part) {
        write(offset + (at - sourceOffset), bytes, part);
    });
}

void StagedOutput::reserve(uint64_t size) {
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
    // Only a full disk is a refusal: a file system that takes no such
    // request finds out when the bytes come.
    if (!::SetFileInformationByHandle(handle_->staged.file(), FileAllocationInfo, &allocation, sizeof(allocation)) &&
        ::GetLastError() == ERROR_DISK_FULL) {
        VK_THROW_MSG("Cannot write " << output_ << ": " << reason(ERROR_DISK_FULL));
    }
}

uint64_t StagedOutput::size() const {
    return sizeOf(handle_->staged.file(), output_);
}

void StagedOutput::read(uint64_t offset, void* buffer, size_t size) const {
    readAt(handle_->staged.file(), output_, offset, buffer, size);
}

void StagedOutput::publish() {
    telling(L"Cannot write " + output_, [&] { handle_->staged.finish(); });
}

namespace PackFiles {

bool exists(const tstring& path) { return FileUtils::pathExists(systemForm(path)); }

bool isDirectory(const tstring& path) { return FileUtils::isDirectory(systemForm(path)); }

tstring nonFileKind(const tstring& path) {
    if (FileUtils::isDirectory(systemForm(path))) {
        return L"a directory";
    }
    // A device (NUL, CON, \\.\pipe\...) is told by its handle; one opened
    // with no access rights reads nothing and waits for nothing.
    UniqueHandle handle;
    handle.reset(::CreateFileW(systemForm(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle ? kindOf(handle.get()) : L"";
}

bool isSameFile(const tstring& a, const tstring& b) { return FileUtils::isSameFile(systemForm(a), systemForm(b)); }

tstring defaultStub() {
    return FileUtils::joinPath(FileUtils::parentPath(SysInfo::getProcessModulePath()), L"velkin-setup.exe");
}

tstring inDirectory(const tstring& directory, const tstring& leaf) { return FileUtils::joinPath(directory, leaf); }

std::vector<tstring> filesIn(const tstring& directory) {
    tstring_array paths;
    telling(L"Cannot read the directory " + directory, [&] {
        FileUtils::DirectoryIterator(directory).descend(false).collectDirectories(false).collectPaths(paths);
    });
    std::vector<tstring> files;
    for (const tstring& path : paths) {
        files.push_back(FileUtils::leafName(path));
    }
    return files;
}

void removeFile(const tstring& path) {
    telling(L"Cannot remove " + path, [&] { FileUtils::deleteFile(path); });
}

} // namespace PackFiles
