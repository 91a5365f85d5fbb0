#include "SetupFile.h"

#include "ErrorHandling.h"
#include "InputChecks.h"
#include "WinFileUtils.h"
#include "WindowsApi.h"

namespace {

UniqueLibraryHandle loadAsData(const tstring& path) {
    requireInputFile(path, L"The setup executable");
    UniqueLibraryHandle module(::LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) {
        VK_THROW_MSG(path << " is not a Velkin setup executable: it is no Windows program");
    }
    return module;
}

} // namespace

SetupFile::SetupFile(const tstring& path)
    : path_(path), module_(loadAsData(path)), package_(L"MSI", RT_RCDATA, module_.get()) {
    if (!package_.available()) {
        VK_THROW_MSG(path << " is not a Velkin setup executable: it carries no package");
    }
}

std::string SetupFile::productCode() const {
    const Resource code(L"PRODUCT_CODE", RT_RCDATA, module_.get());
    if (!code.available()) {
        return std::string();
    }
    const std::vector<uint8_t> bytes = code.bytes();
    return std::string(bytes.begin(), bytes.end());
}
