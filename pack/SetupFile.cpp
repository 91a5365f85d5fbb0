#include "SetupFile.h"

#include "ErrorHandling.h"
#include "InputChecks.h"
#include "SetupResources.h"
#include "WinFileUtils.h"
#include "WindowsApi.h"

namespace {

Dll loadAsData(const tstring& path) {
    requireInputFile(path, L"The setup executable");
    try {
        return Dll(Dll::Data{}, path);
    } catch (const std::runtime_error&) {
        VK_THROW_MSG(path << " is not a Velkin setup executable: it is no Windows program");
    }
}

} // namespace

SetupFile::SetupFile(const tstring& path)
    : path_(path), module_(loadAsData(path)),
      package_(SetupResources::package, SetupResources::type, module_.module()) {
    if (!package_.available()) {
        VK_THROW_MSG(path << " is not a Velkin setup executable: it carries no package");
    }
}

std::string SetupFile::productCode() const {
    const Resource code(SetupResources::productCode, SetupResources::type, module_.module());
    if (!code.available()) {
        return std::string();
    }
    const std::vector<uint8_t> bytes = code.bytes();
    return std::string(bytes.begin(), bytes.end());
}
