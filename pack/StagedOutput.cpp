#include "StagedOutput.h"

#include "ErrorHandling.h"
#include "PathUtils.h"
#include "WinFileUtils.h"

namespace {

tstring createStaging(const tstring& output) {
    if (FileUtils::isDirectory(output)) {
        VK_THROW_MSG("The output " << output << " is a directory");
    }
    try {
        return FileUtils::createTempFile(L"vkt", L".tmp", FileUtils::parentPath(output));
    } catch (const std::runtime_error&) {
        VK_THROW_MSG("Cannot write to the directory of " << output);
    }
}

} // namespace

StagedOutput::StagedOutput(const tstring& output)
    : output_(FileUtils::toAbsolutePath(output)), staging_(createStaging(output_)) {
    cleanup_.scheduleFile(staging_);
}

void StagedOutput::commit() {
    FileUtils::moveFile(staging_, output_, false);
    cleanup_.cancel();
}
