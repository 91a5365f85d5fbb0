#include "PackageInfo.h"

#include "DamagedFile.h"
#include "GuidText.h"
#include "VisibleText.h"

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

// msiexec takes a product's codes in one form alone, braced, with dashes and
// in upper case, and refuses a package with any other (1627): a code is never
// put into that form for it.
void requireRegistryForm(const tstring& name, const tstring& code, const tstring& msiPath) {
    const std::optional<tstring> canonical = canonicalGuid(code);
    if (!canonical) {
        VK_THROW_DAMAGED("The " << name << " '" << excerpt(code) << "' of " << msiPath << " is not a GUID");
    }
    if (*canonical != code) {
        VK_THROW_DAMAGED("The " << name << " '" << excerpt(code) << "' of " << msiPath
                                << " is not in the form that Windows Installer takes: " << *canonical);
    }
}

} // namespace

PackageInfo packageInfo(const RawPackageFacts& facts, const tstring& msiPath) {
    PackageInfo info;
    if (!facts.repeatedProperty.empty()) {
        VK_THROW_DAMAGED(msiPath << " sets the property " << facts.repeatedProperty
                                 << " twice in its Property table");
    }
    const auto code = facts.properties.find(L"ProductCode");
    if (code == facts.properties.end()) {
        VK_THROW_DAMAGED(msiPath << " has no ProductCode");
    }
    requireRegistryForm(L"ProductCode", code->second, msiPath);
    info.productCode = code->second;
    info.upgradeCode = property(facts, L"UpgradeCode");
    if (!info.upgradeCode.empty()) {
        requireRegistryForm(L"UpgradeCode", info.upgradeCode, msiPath);
    }
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
