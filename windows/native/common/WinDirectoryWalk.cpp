#include "WinDirectoryWalk.h"

#include "PathUtils.h"
#include "UniqueHandles.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WindowsApi.h"

#include <memory>

namespace FileUtils {

bool DirectoryCallback::visitFile(const tstring&) { return true; }
bool DirectoryCallback::visitDirectory(const tstring&) { return true; }

void iterateDirectory(const tstring& directory, DirectoryCallback& callback,
                      const tstring& pattern) {
    WIN32_FIND_DATAW entry;
    const UniqueFindHandle search(
        ::FindFirstFileW(joinPath(directory, pattern).c_str(), &entry));
    if (!search) {
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) {
            return;
        }
        VK_THROW_LAST_ERROR(::FindFirstFileW, "FindFirstFile(" << directory << ") failed");
    }
    do {
        const tstring name = entry.cFileName;
        const tstring path = joinPath(directory, name);
        if (isDirectory(static_cast<uint32_t>(entry.dwFileAttributes))) {
            if (name != L"." && name != L".." && !callback.visitDirectory(path)) {
                return;
            }
        } else if (!callback.visitFile(path)) {
            return;
        }
    } while (::FindNextFileW(search.get(), &entry));
    if (::GetLastError() != ERROR_NO_MORE_FILES) {
        VK_THROW_LAST_ERROR(::FindNextFileW, "FindNextFile(" << directory << ") failed");
    }
}

DirectoryIterator& DirectoryIterator::collectPaths(tstring_array& out) {
    if (isDirectory(root_)) {
        iterateDirectory(root_, *this);
        out.insert(out.end(), items_.begin(), items_.end());
        items_.clear();
    }
    return *this;
}

bool DirectoryIterator::visitFile(const tstring& path) {
    if (collectFiles_) {
        items_.push_back(path);
    }
    return true;
}

bool DirectoryIterator::visitDirectory(const tstring& path) {
    if (collectDirectories_) {
        items_.push_back(path);
    }
    // A link may point anywhere, an ancestor included.
    if (descend_ && !isDirectoryLink(path)) {
        DirectoryIterator(path)
            .descend(descend_)
            .collectFiles(collectFiles_)
            .collectDirectories(collectDirectories_)
            .collectPaths(items_);
    }
    return true;
}

namespace {

class DeleteFilesCallback : public DirectoryCallback {
public:
    explicit DeleteFilesCallback(bool throwOnError) : throwOnError_(throwOnError) {}

    bool visitFile(const tstring& path) override {
        if (throwOnError_) {
            deleteFile(path);
        } else if (!deleteFile(path, std::nothrow)) {
            failed_ = true;
        }
        return true;
    }

    bool failed() const { return failed_; }

protected:
    bool throwOnError_;
    bool failed_ = false;
};

class DeleteAllCallback : public DeleteFilesCallback {
public:
    using DeleteFilesCallback::DeleteFilesCallback;

    bool visitDirectory(const tstring& path) override {
        if (throwOnError_) {
            deleteDirectoryRecursive(path);
        } else if (!deleteDirectoryRecursive(path, std::nothrow)) {
            failed_ = true;
        }
        return true;
    }
};

class BatchDeleter {
public:
    explicit BatchDeleter(const tstring& directory) : directory_(directory) {}

    BatchDeleter& recursive(bool value) {
        recursive_ = value;
        return *this;
    }

    BatchDeleter& keepDirectory(bool value) {
        keepDirectory_ = value;
        return *this;
    }

    void execute() {
        if (!pathExists(directory_)) {
            return;
        }
        if (recursive_ && isDirectoryLink(directory_)) {
            if (!keepDirectory_) {
                deleteDirectory(directory_);
            }
            return;
        }
        walk(true);
        if (recursive_ && !keepDirectory_) {
            deleteDirectory(directory_);
        }
    }

    bool execute(const std::nothrow_t&) {
        if (!pathExists(directory_)) {
            return true;
        }
        if (!isDirectory(directory_)) {
            return false;
        }
        try {
            if (recursive_ && isDirectoryLink(directory_)) {
                return !keepDirectory_ && deleteDirectory(directory_, std::nothrow);
            }
            if (!walk(false)) {
                return false;
            }
            return !recursive_ || keepDirectory_ || deleteDirectory(directory_, std::nothrow);
        }
        VK_LOG_AND_SWALLOW(VK_HERE)
        return false;
    }

private:
    // True when every entry went.
    bool walk(bool throwOnError) {
        const std::unique_ptr<DeleteFilesCallback> callback =
            recursive_ ? std::make_unique<DeleteAllCallback>(throwOnError)
                       : std::make_unique<DeleteFilesCallback>(throwOnError);
        iterateDirectory(directory_, *callback);
        return !callback->failed();
    }

    tstring directory_;
    bool recursive_ = false;
    bool keepDirectory_ = false;
};

} // namespace

void deleteFilesInDirectory(const tstring& directory) { BatchDeleter(directory).execute(); }

bool deleteFilesInDirectory(const tstring& directory, const std::nothrow_t&) {
    return BatchDeleter(directory).execute(std::nothrow);
}

void deleteDirectoryRecursive(const tstring& directory) {
    BatchDeleter(directory).recursive(true).execute();
}

bool deleteDirectoryRecursive(const tstring& directory, const std::nothrow_t&) {
    return BatchDeleter(directory).recursive(true).execute(std::nothrow);
}

bool emptyDirectory(const tstring& directory, const std::nothrow_t&) {
    return BatchDeleter(directory).recursive(true).keepDirectory(true).execute(std::nothrow);
}

} // namespace FileUtils
