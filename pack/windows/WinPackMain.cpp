// velkin-pack for Windows: wraps a Windows Installer package into a setup
// executable, tells what a package or setup holds, and takes the package out
// again.
#include "PackCommand.h"
#include "WinSysInfo.h"

int main() { return runPackCommand(SysInfo::getCommandArgs(SysInfo::DropProgramPath)); }
