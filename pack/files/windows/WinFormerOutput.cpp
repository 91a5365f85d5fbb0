#include "FormerOutput.h"

#include "PathUtils.h"
#include "WinFileUtils.h"
#include "WindowsApi.h"

struct FormerOutput::Handle {
    tstring path;
    // Empty when nothing could be kept.
    tstring kept;
};

namespace {

// As the staged outputs take them: a path too long for the ordinary form in
// the verbatim one.
tstring systemForm(const tstring& path) {
    return path.size() < FileUtils::maxOrdinaryPathLength || FileUtils::isVerbatimPath(path)
               ? path
               : FileUtils::verbatimForm(path);
}

} // namespace

FormerOutput::FormerOutput(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

std::unique_ptr<FormerOutput> FormerOutput::keep(const tstring& path) {
    auto handle = std::make_unique<Handle>();
    handle->path = systemForm(path);
    if (::GetFileAttributesW(handle->path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return nullptr;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        const tstring name = systemForm(FileUtils::joinPath(
            FileUtils::parentPath(path), FileUtils::tempName(FileUtils::velkinTempPrefix, FileUtils::velkinTempSuffix)));
        if (::CreateHardLinkW(name.c_str(), handle->path.c_str(), nullptr)) {
            handle->kept = name;
            break;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    return std::unique_ptr<FormerOutput>(new FormerOutput(std::move(handle)));
}

FormerOutput::~FormerOutput() {
    if (!handle_->kept.empty()) {
        ::DeleteFileW(handle_->kept.c_str());
    }
}

bool FormerOutput::putBack() {
    if (handle_->kept.empty() ||
        !::MoveFileExW(handle_->kept.c_str(), handle_->path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return false;
    }
    handle_->kept.clear();
    return true;
}
