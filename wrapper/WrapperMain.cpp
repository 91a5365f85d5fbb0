#include "WrapperMain.h"

#include "ErrorHandling.h"
#include "Executor.h"
#include "FileReadLock.h"
#include "Guid.h"
#include "LanguageSelection.h"
#include "LockedTempDirectory.h"
#include "MsiActions.h"
#include "PathUtils.h"
#include "RemovalSwitch.h"
#include "Resources.h"
#include "SetupResources.h"
#include "Transforms.h"
#include "Unattended.h"
#include "WinSysInfo.h"
#include "WorkDirectory.h"

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

// msiexec as the run starts it on the package at `package`. msiexec finds a
// relative transform by the text of the package's path, which the system
// resolves "." and ".." in only in the ordinary form.
Executor msiexecFor(const tstring& package, const tstring& arguments) {
    Executor msiexec(SysInfo::getMsiexecPath());
    msiexec.addArg(L"/i").addArg(FileUtils::ordinaryForm(package)).addVerbatim(arguments);
    return msiexec;
}

tstring packageIn(const tstring& folder) { return FileUtils::joinPath(folder, L"main.msi"); }

// msiexec reads its command line by rules of its own (a backslash before a
// quote is no escape there): the user's text goes on as it was typed, with
// the language's transform after it.
void install(const tstring& userArguments) {
    const tstring arguments = LanguageSelection::msiexecArguments(userArguments);
    const tstring tempDir = SysInfo::getTempDir();
    const size_t levels = Transforms::levelsAbove(arguments);
    {
        // A run that cannot work is refused before the package is written:
        // a large one takes long to write, and the package's path has one
        // length and form on every run.
        const tstring package = packageIn(WorkDirectory::packageFolderLike(tempDir, levels));
        Transforms::checkReachable(arguments, FileUtils::parentPath(FileUtils::ordinaryForm(package)));
        msiexecFor(package, arguments).checkLength();
    }
    const WorkDirectory work(tempDir, levels);

    const tstring package = packageIn(work.packageFolder());
    const Resource resource(SetupResources::package, SetupResources::type,
                            SysInfo::getCurrentModuleHandle());
    intact(resource, "package").writeToFile(package);
    // From our write to msiexec's read nobody may change the package. (The
    // lock goes before the clean-up runs.)
    const FileReadLock unchanged(package);

    Transforms::stageTransforms(arguments, FileUtils::parentPath(SysInfo::getProcessModulePath()),
                                work.packageFolder());
    exitCode = static_cast<int32_t>(
        msiexecFor(package, arguments).passHandle(work.lockHandle()).execAndWaitForExit());
}

} // namespace

void wrapperMain() {
    try {
        sweepLeftovers(SysInfo::getTempDir());
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
    // One reading of the line for every decision: the one msiexec makes of
    // what it is given.
    const tstring arguments = SysInfo::getCommandLineArguments();
    if (selectsRemoval(arguments)) {
        uninstall();
    } else {
        install(arguments);
    }
}
