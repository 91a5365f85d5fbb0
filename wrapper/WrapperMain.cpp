#include "WrapperMain.h"

#include "ErrorHandling.h"
#include "Executor.h"
#include "FileReadLock.h"
#include "Guid.h"
#include "LeftoverSweep.h"
#include "MsiActions.h"
#include "PathUtils.h"
#include "Resources.h"
#include "SetupResources.h"
#include "Transforms.h"
#include "Unattended.h"
#include "WinSysInfo.h"
#include "WorkDirectory.h"

#include <algorithm>
#include <string>
#include <vector>

int32_t exitCode = -1;

namespace {

// A setup that was cut short, or changed, since it was packed.
const Resource& intact(const Resource& resource, const char* what) {
    if (resource.damaged()) {
        VK_THROW_MSG("The setup " << SysInfo::getProcessModulePath() << " is damaged: its " << what
                                  << " is shorter than it claims. Get the setup again");
    }
    return resource;
}

void uninstall() {
    // The silent removal: deployment tools start it without quiet switches,
    // and nobody is there to answer a message box.
    setUnattendedRun(true);
    const Resource code(SetupResources::productCode, SetupResources::type,
                        SysInfo::getCurrentModuleHandle());
    msi::ActionData()
        .setProductCode(SetupResources::decodeProductCode(intact(code, "product code").bytes()))
        .uninstall();
    exitCode = 0;
}

void install() {
    // msiexec reads its command line by rules of its own (a backslash before
    // a quote is no escape there): the user's text goes on as it was typed.
    const tstring arguments = SysInfo::getCommandLineArguments();
    const WorkDirectory work(SysInfo::getTempDir(), Transforms::levelsAbove(arguments));

    const tstring package = FileUtils::joinPath(work.packageFolder(), L"main.msi");
    const Resource resource(SetupResources::package, SetupResources::type,
                            SysInfo::getCurrentModuleHandle());
    intact(resource, "package").writeToFile(package);
    // From our write to msiexec's read nobody may change the package. (The
    // lock goes before the clean-up runs.)
    const FileReadLock unchanged(package);

    Transforms::stageTransforms(arguments, FileUtils::parentPath(SysInfo::getProcessModulePath()),
                                work.packageFolder());
    exitCode = static_cast<int32_t>(Executor(SysInfo::getMsiexecPath())
                                        .addArg(L"/i")
                                        .addArg(package)
                                        .addVerbatim(arguments)
                                        .passHandle(work.lockHandle())
                                        .execAndWaitForExit());
}

} // namespace

void wrapperMain() {
    try {
        sweepLeftovers(SysInfo::getTempDir());
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
    const tstring_array args = SysInfo::getCommandArgs(SysInfo::DropProgramPath);
    if (std::find(args.begin(), args.end(), L"uninstall") != args.end()) {
        uninstall();
    } else {
        install();
    }
}
