// velkin-pack for Windows: wraps a Windows Installer package into a setup
// executable, tells what a package or setup holds, and takes the package out
// again. Started with ReaderProcess::argument, it is its own package reader.
#include "PackCommand.h"
#include "ReaderProcess.h"
#include "StandardStreams.h"
#include "WinSysInfo.h"

int main() {
    openMissingStandardStreams();
    const tstring_array args = SysInfo::getCommandArgs(SysInfo::DropProgramPath);
    if (args.size() == 2 && args[0] == ReaderProcess::argument) {
        return runReaderProcess(args[1]);
    }
    return runPackCommand(args);
}
