#include "WrapperMain.h"

#include "DeferredDeleter.h"
#include "ErrorHandling.h"
#include "Executor.h"
#include "PathUtils.h"
#include "Resources.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <algorithm>
#include <iterator>

int32_t exitCode = -1;

namespace {

void uninstall() {
    VK_THROW_MSG("Removing the product (\"uninstall\") is not available in this version");
}

void install() {
    const tstring workDir =
        FileUtils::createTempDirectory(L"", L".tmp", SysInfo::getTempDir());
    DeferredDeleter cleanup;
    cleanup.scheduleDirectoryTree(workDir);

    const tstring package = (FileUtils::PathBuilder() << workDir << L"main.msi").path();
    Resource(L"msi", RT_RCDATA, SysInfo::getCurrentModuleHandle()).writeToFile(package);

    Executor msiexec(SysInfo::getMsiexecPath());
    msiexec.addArg(L"/i").addArg(package);
    const tstring_array args = SysInfo::getCommandArgs(SysInfo::DropProgramPath);
    std::copy(args.begin(), args.end(), std::back_inserter(msiexec));
    exitCode = static_cast<int32_t>(msiexec.execAndWaitForExit());
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
