#include "FileContents.h"

#include "DeferredDeleter.h"
#include "ErrorHandling.h"
#include "Guid.h"
#include "InputChecks.h"
#include "MappedFile.h"
#include "PathUtils.h"
#include "SetupFile.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"

#include <cstring>

namespace {

enum class FileKind { Program, CompoundFile, Other };

// By the first bytes: a program starts with "MZ", a package is a compound
// file.
FileKind sniff(const tstring& path) {
    static const uint8_t compoundFile[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    const MappedFile file(path);
    if (file.size() >= 2 && file.data()[0] == 'M' && file.data()[1] == 'Z') {
        return FileKind::Program;
    }
    if (file.size() >= sizeof(compoundFile) &&
        std::memcmp(file.data(), compoundFile, sizeof(compoundFile)) == 0) {
        return FileKind::CompoundFile;
    }
    return FileKind::Other;
}

bool namesProduct(const tstring& code, const tstring& productCode) {
    try {
        return Guid(code) == Guid(productCode);
    } catch (const std::runtime_error&) {
        return false;
    }
}

FileContents setupContents(const tstring& path) {
    const SetupFile setup(path);
    FileContents result;
    result.isSetup = true;
    // The installer reads a package only from a file.
    const tstring workDir = FileUtils::createTempDirectory(L"vki", L".tmp", SysInfo::getTempDir());
    DeferredDeleter cleanup;
    cleanup.scheduleDirectoryTree(workDir);
    const tstring package = FileUtils::joinPath(workDir, L"package.msi");
    setup.package().writeToFile(package);
    try {
        result.package = readPackageInfo(package);
    } catch (const std::runtime_error&) {
        // The reason would name the temporary copy, gone by now.
        VK_THROW_MSG(path << " is a Velkin setup executable whose package cannot be read");
    }
    result.packageSize = setup.package().size();
    const std::string code = setup.productCode();
    // Byte by byte: whatever the resource holds can be shown.
    for (const char c : code) {
        result.embeddedProductCode.push_back(static_cast<wchar_t>(static_cast<uint8_t>(c)));
    }
    result.productCodeMatches = namesProduct(result.embeddedProductCode, result.package.productCode);
    return result;
}

} // namespace

FileContents readFileContents(const tstring& path) {
    requireInputFile(path, L"The file");
    switch (sniff(path)) {
    case FileKind::Program:
        return setupContents(path);
    case FileKind::CompoundFile: {
        FileContents result;
        result.package = readPackageInfo(path);
        result.packageSize = MappedFile(path).size();
        return result;
    }
    case FileKind::Other:
        break;
    }
    VK_THROW_MSG(path << " is neither a Windows Installer package nor a Velkin setup executable");
}
