#include "PrivateDirectory.h"

#include "LockedTempDirectory.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"

namespace {

// What runs ended hard left there, this run removes first.
tstring sweptTempDir() {
    const tstring tempDir = SysInfo::getTempDir();
    sweepLeftovers(tempDir);
    return tempDir;
}

} // namespace

// Only the user, SYSTEM and the Administrators can enter it.
struct PrivateDirectory::Handle {
    explicit Handle(const tstring& tempDir) : directory(tempDir) {}

    LockedTempDirectory directory;
};

PrivateDirectory::PrivateDirectory() : handle_(std::make_unique<Handle>(sweptTempDir())) {
    path_ = handle_->directory.path();
}

PrivateDirectory::~PrivateDirectory() = default;

tstring PrivateDirectory::place(const tstring& folder, const tstring& leaf) const {
    const tstring directory = FileUtils::joinPath(path_, folder);
    FileUtils::createDirectories(directory);
    return FileUtils::joinPath(directory, leaf);
}

// Ctrl+C ends velkin-pack.exe at once with STATUS_CONTROL_C_EXIT, and says
// nothing of what was published: there is no message to keep true.
struct PrivateDirectory::Publication::State {};

PrivateDirectory::Publication::Publication() : state_(std::make_unique<State>()) {}

PrivateDirectory::Publication::~Publication() = default;

void PrivateDirectory::Publication::done(const tstring&) {}
