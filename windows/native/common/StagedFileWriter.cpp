#include "StagedFileWriter.h"

#include "PathUtils.h"
#include "WinFileUtils.h"


StagedFileWriter::StagedFileWriter(const tstring& destination)
    : stagingPath_(FileUtils::createTempFile(L"vkt", L".tmp", FileUtils::parentPath(destination))),
      destination_(destination) {
    cleanup_.scheduleFile(stagingPath_);
    stream_.exceptions(std::ios_base::failbit | std::ios_base::badbit);
    stream_.open(stagingPath_.c_str(), std::ios_base::out | std::ios_base::trunc |
                                           std::ios_base::binary);
}

StagedFileWriter& StagedFileWriter::write(const void* data, size_t size) {
    stream_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return *this;
}

void StagedFileWriter::finish() {
    stream_.close();
    FileUtils::moveFile(stagingPath_, destination_, false);
    cleanup_.cancel();
}
