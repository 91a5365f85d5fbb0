#include "WinFileUtils.h"

#include "Log.h"
#include "PrivateDirectorySecurity.h"
#include "UniqueHandles.h"
#include "WinDirectoryWalk.h"
#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <ntsecapi.h>

namespace FileUtils {

namespace {

struct CrtFreeDeleter {
    void operator()(void* memory) const { std::free(memory); }
};

void createDir(const tstring& path) {
    if (::CreateDirectoryW(path.c_str(), nullptr)) {
        VK_TRACE("Created [" << path << "] directory");
        return;
    }
    const DWORD error = ::GetLastError();
    if (!isDirectory(path)) {
        VK_THROW_SYS_ERROR(::CreateDirectoryW, error, "CreateDirectory(" << path << ") failed");
    }
}

// The path of what `file` is open on, in the "\\?\" form; empty when the
// system cannot tell.
tstring finalPath(HANDLE file) {
    tstring buffer(MAX_PATH, L'\0');
    for (int pass = 0; pass < 2; ++pass) {
        const DWORD size = ::GetFinalPathNameByHandleW(file, &buffer[0], static_cast<DWORD>(buffer.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (size < buffer.size()) {
            return buffer.substr(0, size);
        }
        buffer.resize(size);
    }
    return tstring();
}

// Wine shows a Unix link to a file as that very file: a handle opened on the
// link is open on the file it points to, and deleting by the link deletes that
// file. Its final path then names the file, not the link. (Windows opens the
// link itself, whose final path is its own.) Where the system cannot tell a
// final path, the handle is taken to be the link's own.
bool leadsElsewhere(const tstring& path, HANDLE file, tstring& target) {
    target = finalPath(file);
    const tstring folder = parentPath(path);
    const UniqueHandle parent(::CreateFileW(folder.empty() ? L"." : folder.c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const tstring parentTarget = parent ? finalPath(parent.get()) : tstring();
    return !target.empty() && !parentTarget.empty() &&
           !tstrings::equals(target, joinPath(parentTarget, leafName(path)), tstrings::IgnoreCase);
}

bool markForDeletion(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) != 0;
}

// A read-only attribute blocks a deletion. Read and cleared on the handle, so
// that it is this file's.
bool isReadOnly(HANDLE file, FILE_BASIC_INFO& basic) {
    return ::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)) &&
           (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool discardReadOnly(HANDLE file, FILE_BASIC_INFO& basic) {
    basic.FileAttributes &= ~DWORD{FILE_ATTRIBUTE_READONLY};
    if (basic.FileAttributes == 0) {
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof(basic)) != 0;
}

// Deletes the file that `path` names by a handle to it, never what a link
// there leads to, which stays (logged).
bool deleteFileImpl(const tstring& path) {
    UniqueHandle file(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                    nullptr));
    if (!file) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(file.get(), &information)) {
        return false;
    }
    // DeleteFile's own answer for a directory.
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    tstring target;
    if (leadsElsewhere(path, file.get(), target)) {
        VK_WARNING("Left [" << path << "] linked to " << target);
        ::SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
    if (!markForDeletion(file.get())) {
        const DWORD denied = ::GetLastError();
        FILE_BASIC_INFO basic{};
        if (denied != ERROR_ACCESS_DENIED || !isReadOnly(file.get(), basic)) {
            ::SetLastError(denied);
            return false;
        }
        if (!discardReadOnly(file.get(), basic)) {
            const DWORD error = ::GetLastError();
            VK_WARNING(SysError(tstrings::TextBuilder("Failed to discard R/O attribute from [")
                                    << path << "] file. File will not be deleted",
                                reinterpret_cast<const void*>(&::SetFileInformationByHandle), error)
                           .what());
            ::SetLastError(denied);
            return false;
        }
        VK_TRACE("Discarded R/O attribute from [" << path << "] file");
        if (!markForDeletion(file.get())) {
            return false;
        }
    }
    file.reset();
    VK_TRACE("Deleted [" << path << "] file");
    return true;
}

void checkTempNameParts(const tstring& prefix, const tstring& suffix) {
    if (prefix.find_first_of(illegalFileNameCharacters) != tstring::npos) {
        VK_THROW_MSG("Illegal characters in prefix=" << prefix);
    }
    if (suffix.find_first_of(illegalFileNameCharacters) != tstring::npos) {
        VK_THROW_MSG("Illegal characters in suffix=" << suffix);
    }
}

constexpr size_t randomDigits = 16;

// From the system's random source; always `randomDigits` long, so that a
// path made of it has the same length on every run.
tstring randomHexDigits() {
    uint64_t value = 0;
    if (!::RtlGenRandom(&value, sizeof(value))) {
        VK_THROW_MSG("The system's random source failed");
    }
    tstring digits(randomDigits, L'0');
    for (size_t i = randomDigits; i-- > 0; value >>= 4) {
        digits[i] = L"0123456789abcdef"[value & 0xF];
    }
    return digits;
}

} // namespace

bool pathExists(const tstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(uint32_t attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isDirectory(const tstring& path) { return isDirectory(::GetFileAttributesW(path.c_str())); }

bool isDirectoryLink(const tstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return isDirectory(attributes) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

namespace {

class FirstEntry : public DirectoryCallback {
public:
    bool visitFile(const tstring&) override { return found(); }
    bool visitDirectory(const tstring&) override { return found(); }
    bool seen = false;

private:
    bool found() {
        seen = true;
        return false;
    }
};

} // namespace

bool isNonEmptyDirectory(const tstring& path) {
    if (!isDirectory(path)) {
        return false;
    }
    FirstEntry first;
    iterateDirectory(path, first);
    return first.seen;
}

bool isMissingPathError(uint32_t code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

namespace {

bool fileIdentity(const tstring& path, BY_HANDLE_FILE_INFORMATION& identity) {
    // No access beyond the attributes, and every sharing: asking must not
    // disturb anyone who has the file open.
    const UniqueHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                          nullptr));
    return file && ::GetFileInformationByHandle(file.get(), &identity);
}

} // namespace

bool isSameFile(const tstring& a, const tstring& b) {
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return fileIdentity(a, first) && fileIdentity(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

tstring toAbsolutePath(const tstring& path) {
    if (path.empty()) {
        const std::unique_ptr<wchar_t, CrtFreeDeleter> current(_wgetcwd(nullptr, 0));
        if (!current) {
            VK_THROW_MSG("_tgetcwd() failed");
        }
        if (*current == L'\0') {
            VK_THROW_MSG("_tgetcwd() returned empty string");
        }
        return current.get();
    }
    // GetFullPathNameW takes paths of any length (_wfullpath fails from
    // MAX_PATH characters on); it answers the size it needs, terminator
    // included, for a buffer too small, and the length without it once it
    // fits.
    std::vector<wchar_t> full(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            VK_THROW_LAST_ERROR(::GetFullPathNameW, "GetFullPathName(" << path << ") failed");
        }
        if (length < full.size()) {
            return tstring(full.data(), length);
        }
        full.resize(length);
    }
}

void createDirectories(const tstring& path) {
    const tstring levels = stripTrailingSeparators(path) + L'\\';
    for (size_t i = rootLength(levels); i < levels.size(); ++i) {
        if (isPathSeparator(levels[i])) {
            createDir(levels.substr(0, i + 1));
        }
    }
}

tstring tempName(const tstring& prefix, const tstring& suffix) {
    checkTempNameParts(prefix, suffix);
    // A name nobody can guess: in a temporary directory that other users
    // share, names made in advance could otherwise block every run.
    return prefix + randomHexDigits() + suffix;
}

namespace {

constexpr uint32_t uniqueNameAttempts = 100;

// Tries the names that `nextName` gives in turn until `attempt` makes a
// `kind` under one; `attempt` answers the system's error code. Only a name
// that is taken, by anything at all, moves on: what another process made in
// our name is never taken for ours, and any other failure is the
// directory's, told with the system's reason.
tstring createUnique(const tstring& directory, const std::function<tstring()>& nextName,
                     const char* kind, const char* call, const void* function,
                     const std::function<DWORD(const tstring&)>& attempt) {
    for (uint32_t i = 0; i < uniqueNameAttempts; ++i) {
        const tstring candidate = joinPath(directory, nextName());
        const DWORD error = attempt(candidate);
        if (error == ERROR_SUCCESS) {
            VK_TRACE("Created [" << candidate << "] " << kind);
            return candidate;
        }
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            VK_THROW(SysError(tstrings::TextBuilder("Cannot create a ")
                                  << kind << " in " << directory << ": " << call << "("
                                  << candidate << ") failed",
                              function, error));
        }
    }
    VK_THROW_MSG("Cannot create a " << kind << " in " << directory << ": " << uniqueNameAttempts
                                    << " names in a row were taken");
}

// Drawn anew for every try.
struct TempNames {
    const tstring& prefix;
    const tstring& suffix;
    tstring operator()() const { return tempName(prefix, suffix); }
};

} // namespace

tstring createUniqueDirectory(const tstring& directory, const std::function<tstring()>& nextName) {
    const PrivateDirectorySecurity security;
    return createUnique(directory, nextName, "directory", "CreateDirectory",
                        reinterpret_cast<const void*>(&::CreateDirectoryW),
                        [&](const tstring& candidate) -> DWORD {
                            return ::CreateDirectoryW(candidate.c_str(), security.attributes())
                                       ? ERROR_SUCCESS
                                       : ::GetLastError();
                        });
}

tstring createUniqueFile(const tstring& directory, const std::function<tstring()>& nextName,
                         UniqueHandle& file) {
    return createUnique(directory, nextName, "file", "CreateFile",
                        reinterpret_cast<const void*>(&::CreateFileW),
                        [&](const tstring& candidate) -> DWORD {
                            file.reset(::CreateFileW(candidate.c_str(),
                                                     GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                                     nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                                     nullptr));
                            return file ? ERROR_SUCCESS : ::GetLastError();
                        });
}

const tstring velkinTempPrefix = L"velkin-";
const tstring velkinTempSuffix = L".tmp";

tstring createTempDirectory(const tstring& prefix, const tstring& suffix,
                            const tstring& directory) {
    return createUniqueDirectory(directory, TempNames{prefix, suffix});
}

tstring createTempFile(const tstring& prefix, const tstring& suffix, const tstring& directory,
                       UniqueHandle& file) {
    return createUniqueFile(directory, TempNames{prefix, suffix}, file);
}

bool isTempName(const tstring& name, const tstring& prefix, const tstring& suffix) {
    return name.size() == prefix.size() + randomDigits + suffix.size() &&
           tstrings::startsWith(name, prefix, tstrings::IgnoreCase) &&
           tstrings::endsWith(name, suffix, tstrings::IgnoreCase) &&
           name.substr(prefix.size(), randomDigits).find_first_not_of(L"0123456789abcdef") ==
               tstring::npos;
}

void copyFile(const tstring& from, const tstring& to, bool failIfExists) {
    createDirectories(parentPath(to));
    if (!::CopyFileW(from.c_str(), to.c_str(), failIfExists)) {
        VK_THROW_LAST_ERROR(::CopyFileW, "CopyFile(" << from << ", " << to << ", "
                                                     << failIfExists << ") failed");
    }
    VK_TRACE("Copied [" << from << "] file to [" << to << "]");
}

bool deleteFile(const tstring& path, const std::nothrow_t&) {
    return deleteFileImpl(path) || isMissingPathError(::GetLastError());
}

void deleteFile(const tstring& path) {
    if (!deleteFile(path, std::nothrow)) {
        VK_THROW_LAST_ERROR(::DeleteFileW, "DeleteFile(" << path << ") failed");
    }
}

bool deleteDirectory(const tstring& path, const std::nothrow_t&) {
    if (::RemoveDirectoryW(path.c_str())) {
        VK_TRACE("Deleted [" << path << "] directory");
        return true;
    }
    return isMissingPathError(::GetLastError());
}

void deleteDirectory(const tstring& path) {
    if (!deleteDirectory(path, std::nothrow)) {
        VK_THROW_LAST_ERROR(::RemoveDirectoryW, "RemoveDirectory(" << path << ") failed");
    }
}

} // namespace FileUtils
