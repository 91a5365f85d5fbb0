#include "ResourceUpdate.h"

#include "Resources.h"

#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <climits>

ResourceUpdate::ResourceUpdate(const tstring& executable)
    : executable_(executable), handle_(::BeginUpdateResourceW(executable.c_str(), FALSE)) {
    if (!handle_) {
        VK_THROW_LAST_ERROR(::BeginUpdateResourceW, "BeginUpdateResource(" << executable << ") failed");
    }
}

ResourceUpdate& ResourceUpdate::put(const wchar_t* type, const wchar_t* name, uint16_t language,
                                    const void* data, size_t size) {
    if (size > static_cast<size_t>(UINT_MAX)) {
        VK_THROW_MSG("Resource " << resourceIdentifierText(name) << " too large: " << size << " bytes");
    }
    if (!::UpdateResourceW(handle_.get(), type, name, language, const_cast<void*>(data),
                           static_cast<DWORD>(size))) {
        VK_THROW_LAST_ERROR(::UpdateResourceW, "UpdateResource(" << executable_ << ", "
                                                                  << resourceIdentifierText(type) << ", "
                                                                  << resourceIdentifierText(name) << ") failed");
    }
    return *this;
}

ResourceUpdate& ResourceUpdate::remove(const wchar_t* type, const wchar_t* name,
                                       uint16_t language) {
    if (!::UpdateResourceW(handle_.get(), type, name, language, nullptr, 0)) {
        VK_THROW_LAST_ERROR(::UpdateResourceW, "UpdateResource(" << executable_ << ", "
                                                                  << resourceIdentifierText(type) << ", "
                                                                  << resourceIdentifierText(name)
                                                                  << ", removal) failed");
    }
    return *this;
}

void ResourceUpdate::commit() {
    if (!::EndUpdateResourceW(handle_.release(), FALSE)) {
        VK_THROW_LAST_ERROR(::EndUpdateResourceW, "EndUpdateResource(" << executable_ << ") failed");
    }
}
