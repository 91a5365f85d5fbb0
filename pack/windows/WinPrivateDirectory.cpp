#include "PrivateDirectory.h"

#include "DeferredDeleter.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"

struct PrivateDirectory::Handle {
    DeferredDeleter cleanup;
};

// createTempDirectory gives a directory only the user, SYSTEM and the
// Administrators can enter.
PrivateDirectory::PrivateDirectory()
    : path_(FileUtils::createTempDirectory(L"vkp", L".tmp", SysInfo::getTempDir())),
      handle_(std::make_unique<Handle>()) {
    handle_->cleanup.scheduleDirectoryTree(path_);
}

PrivateDirectory::~PrivateDirectory() = default;

tstring PrivateDirectory::place(const tstring& folder, const tstring& leaf) const {
    const tstring directory = FileUtils::joinPath(path_, folder);
    FileUtils::createDirectories(directory);
    return FileUtils::joinPath(directory, leaf);
}
