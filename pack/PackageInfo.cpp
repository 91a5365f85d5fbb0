#include "PackageInfo.h"

#include "ErrorHandling.h"
#include "Guid.h"
#include "MsiDb.h"
#include "MsiSummaryInfo.h"
#include "UniqueHandles.h"
#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <objbase.h>

namespace {

// Windows Installer keeps a package's Authenticode signature in this stream
// of the package's structured storage, beside the database's own streams
// (whose names the installer encodes and so never start with \x05).
bool carriesDigitalSignature(const tstring& msiPath) {
    IStorage* rawStorage = nullptr;
    HRESULT result = ::StgOpenStorage(msiPath.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE,
                                      nullptr, 0, &rawStorage);
    if (FAILED(result)) {
        VK_THROW_MSG("Cannot open " << msiPath << " as structured storage: " << comErrorText(result));
    }
    const std::unique_ptr<IStorage, ReleaseDeleter> storage(rawStorage);
    IStream* rawStream = nullptr;
    result = storage->OpenStream(L"\x05" L"DigitalSignature", nullptr,
                                 STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &rawStream);
    const std::unique_ptr<IStream, ReleaseDeleter> stream(rawStream);
    if (result == STG_E_FILENOTFOUND) {
        return false;
    }
    if (FAILED(result)) {
        VK_THROW_MSG("Cannot look for the signature of " << msiPath << ": " << comErrorText(result));
    }
    return true;
}

// ALLUSERS "" installs per user and "1" per machine. "2" leaves the choice to
// the installation's command line: from Windows 7 on, MSIINSTALLPERUSER=1
// makes it per user, else it is per machine. Other values are undocumented;
// they are counted per machine.
void readScope(const msi::Database& db, PackageInfo& info) {
    const tstring allUsers = db.getProperty(std::nothrow, L"ALLUSERS");
    if (allUsers.empty()) {
        info.scope = info.defaultScope = InstallScope::PerUser;
    } else if (allUsers == L"2") {
        info.scope = InstallScope::ChosenAtInstall;
        info.defaultScope = db.getProperty(std::nothrow, L"MSIINSTALLPERUSER") == L"1"
                                ? InstallScope::PerUser
                                : InstallScope::PerMachine;
    } else {
        info.scope = info.defaultScope = InstallScope::PerMachine;
    }
}

} // namespace

std::unique_ptr<msi::Database> openPackage(const tstring& msiPath) {
    try {
        return std::make_unique<msi::Database>(msiPath);
    } catch (const msi::Error& e) {
        VK_THROW_MSG(msiPath << " is not a Windows Installer package (MSI error " << e.getStatus()
                             << ")");
    }
}

PackageInfo readPackageInfo(const tstring& msiPath) {
    PackageInfo info;
    {
        const std::unique_ptr<msi::Database> db = openPackage(msiPath);
        try {
            info.productCode = db->getProperty(L"ProductCode");
        } catch (const msi::NoMoreItemsError&) {
            VK_THROW_MSG(msiPath << " has no ProductCode");
        }
        try {
            info.productCode = Guid(info.productCode).toString();
        } catch (const std::runtime_error&) {
            VK_THROW_MSG("The ProductCode '" << info.productCode << "' of " << msiPath
                                             << " is not a GUID");
        }
        info.upgradeCode = db->getProperty(std::nothrow, L"UpgradeCode");
        info.productName = db->getProperty(std::nothrow, L"ProductName");
        info.productVersion = db->getProperty(std::nothrow, L"ProductVersion");
        info.manufacturer = db->getProperty(std::nothrow, L"Manufacturer");
        info.productLanguage = db->getProperty(std::nothrow, L"ProductLanguage");
        info.packageCode = msi::SummaryInfo(*db).getString(msi::SummaryInfo::RevisionNumber);
        readScope(*db, info);
    }
    // The installer's handle is closed: structured storage opens the file on
    // its own.
    info.isSigned = carriesDigitalSignature(msiPath);
    return info;
}
