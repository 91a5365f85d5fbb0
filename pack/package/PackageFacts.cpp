#include "PackageFacts.h"

#include "CompoundFileCheck.h"
#include "DamagedFile.h"

RawPackageFacts readPackageFacts(const tstring& path) { return PackageReading(path).facts(); }

const std::vector<tstring>& propertyNames() {
    static const std::vector<tstring> names{L"ProductCode",    L"UpgradeCode",  L"ProductName",
                                            L"ProductVersion", L"Manufacturer", L"ProductLanguage",
                                            L"ALLUSERS",       L"MSIINSTALLPERUSER"};
    return names;
}

void requireSoundPackage(const ByteSource& file, uint64_t offset, uint64_t size, const tstring& shownPath) {
    try {
        checkCompoundFile(file, offset, size);
    } catch (const VkError<DamagedFileError>& e) {
        VK_THROW_DAMAGED(shownPath << " is not a Windows Installer package: " << e.originalMessage());
    }
}
