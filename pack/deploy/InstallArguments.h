#pragma once

#include "PackageInfo.h"
#include "tstrings.h"

// msiexec's arguments for a setup that a deployment tool runs, from one
// place for every description, so that they agree.
namespace InstallArguments {

// No user interface, and no restart: winget, Intune and Chocolatey each read
// 3010 and 1641 and handle the restart themselves, while a quiet msiexec
// would restart the device in the middle of a deployment without asking.
// (winget's own defaults for MSI installers carry /norestart too.)
extern const wchar_t quiet[];
// A progress bar only, and no restart.
extern const wchar_t withProgress[];

// The property that makes a package whose scope is chosen at install
// install per user or per machine (Windows 7 and later, ALLUSERS=2).
tstring scopeChoice(InstallScope scope);

// The arguments for a run as the system account, as Intune runs a
// per-machine app and Chocolatey runs elevated: quiet, and for a package
// whose scope is chosen at install per machine, not into the profile of the
// account that installs.
tstring forSystemAccount(const PackageInfo& package);

} // namespace InstallArguments
