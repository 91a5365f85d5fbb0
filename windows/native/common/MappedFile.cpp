#include "MappedFile.h"

#include "WinErrorHandling.h"

MappedFile::MappedFile(const tstring& path)
    : file_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (!file_) {
        VK_THROW_LAST_ERROR(::CreateFileW, "CreateFile(" << path << ") failed");
    }
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file_.get(), &size)) {
        VK_THROW_LAST_ERROR(::GetFileSizeEx, "GetFileSizeEx(" << path << ") failed");
    }
    size_ = static_cast<uint64_t>(size.QuadPart);
    // The system maps no empty file.
    if (size_ == 0) {
        return;
    }
    mapping_.reset(::CreateFileMappingW(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping_) {
        VK_THROW_LAST_ERROR(::CreateFileMappingW, "CreateFileMapping(" << path << ") failed");
    }
    view_ = static_cast<const uint8_t*>(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view_) {
        VK_THROW_LAST_ERROR(::MapViewOfFile, "MapViewOfFile(" << path << ") failed");
    }
}

MappedFile::~MappedFile() {
    if (view_) {
        ::UnmapViewOfFile(view_);
    }
}
