#include "PackageInfo.h"

#include "DamagedFile.h"
#include "GuidText.h"

#include <optional>

namespace {

tstring property(const RawPackageFacts& facts, const tstring& name) {
    const auto found = facts.properties.find(name);
    return found == facts.properties.end() ? tstring() : found->second;
}

// ALLUSERS "" installs per user and "1" per machine. "2" leaves the choice to
// the installation's command line: from Windows 7 on, MSIINSTALLPERUSER=1
// makes it per user, else it is per machine. Other values are undocumented;
// they are counted per machine.
void readScope(const RawPackageFacts& facts, PackageInfo& info) {
    const tstring allUsers = property(facts, L"ALLUSERS");
    if (allUsers.empty()) {
        info.scope = info.defaultScope = InstallScope::PerUser;
    } else if (allUsers == L"2") {
        info.scope = InstallScope::ChosenAtInstall;
        info.defaultScope = property(facts, L"MSIINSTALLPERUSER") == L"1" ? InstallScope::PerUser
                                                                          : InstallScope::PerMachine;
    } else {
        info.scope = info.defaultScope = InstallScope::PerMachine;
    }
}

} // namespace

PackageInfo packageInfo(const RawPackageFacts& facts, const tstring& msiPath) {
    PackageInfo info;
    const auto code = facts.properties.find(L"ProductCode");
    if (code == facts.properties.end()) {
        VK_THROW_DAMAGED(msiPath << " has no ProductCode");
    }
    const std::optional<tstring> canonical = canonicalGuid(code->second);
    if (!canonical) {
        VK_THROW_DAMAGED("The ProductCode '" << code->second << "' of " << msiPath << " is not a GUID");
    }
    info.productCode = *canonical;
    info.upgradeCode = property(facts, L"UpgradeCode");
    info.productName = property(facts, L"ProductName");
    info.productVersion = property(facts, L"ProductVersion");
    info.manufacturer = property(facts, L"Manufacturer");
    info.productLanguage = property(facts, L"ProductLanguage");
    info.packageCode = facts.revisionNumber;
    info.subject = facts.subject;
    info.comments = facts.comments;
    info.platform = facts.platformTemplate.substr(0, facts.platformTemplate.find(L';'));
    readScope(facts, info);
    info.isSigned = facts.isSigned;
    return info;
}
