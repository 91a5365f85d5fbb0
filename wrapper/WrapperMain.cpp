#include "WrapperMain.h"

#include "DeferredDeleter.h"
#include "ErrorHandling.h"
#include "Executor.h"
#include "FileReadLock.h"
#include "Guid.h"
#include "MsiActions.h"
#include "PathUtils.h"
#include "Resources.h"
#include "SetupResources.h"
#include "Transforms.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <algorithm>
#include <string>
#include <vector>

int32_t exitCode = -1;

namespace {

// Long enough for a scanner to let go of the package it looked at, short
// enough that nobody waits on a run that is over.
constexpr uint32_t cleanupRetryMilliseconds = 3000;

void uninstall() {
    const Resource code(SetupResources::productCode, SetupResources::type,
                        SysInfo::getCurrentModuleHandle());
    msi::ActionData().setProductCode(SetupResources::decodeProductCode(code.bytes())).uninstall();
    exitCode = 0;
}

void install() {
    const tstring workDir =
        FileUtils::createTempDirectory(L"", L".tmp", SysInfo::getTempDir());
    DeferredDeleter cleanup;
    cleanup.scheduleDirectoryTree(workDir).retryFor(cleanupRetryMilliseconds);

    const tstring package = (FileUtils::PathBuilder() << workDir << L"main.msi").path();
    Resource(SetupResources::package, SetupResources::type, SysInfo::getCurrentModuleHandle())
        .writeToFile(package);
    // From our write to msiexec's read nobody may change the package. (The
    // lock goes before the clean-up runs.)
    const FileReadLock unchanged(package);

    // msiexec reads its command line by rules of its own (a backslash before
    // a quote is no escape there): the user's text goes on as it was typed.
    const tstring arguments = SysInfo::getCommandLineArguments();
    Transforms::stageTransforms(arguments, FileUtils::parentPath(SysInfo::getProcessModulePath()),
                                workDir);
    exitCode = static_cast<int32_t>(Executor(SysInfo::getMsiexecPath())
                                        .addArg(L"/i")
                                        .addArg(package)
                                        .addVerbatim(arguments)
                                        .execAndWaitForExit());
}

} // namespace

void wrapperMain() {
    const tstring_array args = SysInfo::getCommandArgs(SysInfo::DropProgramPath);
    if (std::find(args.begin(), args.end(), L"uninstall") != args.end()) {
        uninstall();
    } else {
        install();
    }
}
