#include "InstallArguments.h"

namespace InstallArguments {

const wchar_t quiet[] = L"/qn /norestart";
const wchar_t withProgress[] = L"/passive /norestart";

tstring scopeChoice(InstallScope scope) {
    return scope == InstallScope::PerUser ? L"MSIINSTALLPERUSER=1" : L"MSIINSTALLPERUSER=\"\"";
}

tstring forSystemAccount(const PackageInfo& package) {
    tstring arguments = quiet;
    if (package.scope == InstallScope::ChosenAtInstall) {
        arguments += L" " + scopeChoice(InstallScope::PerMachine);
    }
    return arguments;
}

} // namespace InstallArguments
