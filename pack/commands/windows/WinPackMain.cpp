// velkin-pack for Windows: wraps a Windows Installer package into a setup
// executable, tells what a package or setup holds, and takes the package out
// again. Started with ReaderProcess::argument, it is its own package reader.
#include "PackCommand.h"
#include "ReaderProcess.h"
#include "StandardStreams.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

namespace {

// Ctrl+C and Ctrl+Break end velkin-pack as they end console programs, with
// STATUS_CONTROL_C_EXIT: never 0, which would make an interrupted `inspect
// --json` look like success. What a run has made goes with its handles: the
// staged output is marked for deletion, the reader's job ends the reader,
// and a private directory left goes with the next run's sweep.
BOOL WINAPI onInterrupt(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    }
    return FALSE;
}

} // namespace

int main() {
    openMissingStandardStreams();
    ::SetConsoleCtrlHandler(onInterrupt, TRUE);
    const tstring_array args = SysInfo::getCommandArgs(SysInfo::DropProgramPath);
    if (args.size() == 2 && args[0] == ReaderProcess::argument) {
        return runReaderProcess(args[1]);
    }
    return runPackCommand(args);
}
