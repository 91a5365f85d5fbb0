// A GUI program that runs a main function chosen by its first argument inside
// the launch frame, the way the setup executable does.
#include "WinApp.h"
#include "WinErrorHandling.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <cstdint>
#include <stdexcept>

namespace {

int32_t exitCode = -1;

void probeMain() {
    const tstring_array args = SysInfo::getCommandArgs(SysInfo::DropProgramPath);
    const tstring mode = args.empty() ? tstring() : args[0];
    if (mode == L"store0") {
        exitCode = 0;
    } else if (mode == L"syserror") {
        const wchar_t* path = L"C:\\velkin-missing-directory\\gr\u00FC\u00DFe.txt";
        if (!::DeleteFileW(path)) {
            VK_THROW_LAST_ERROR(::DeleteFileW, "DeleteFile(" << path << ") failed");
        }
    } else if (mode == L"runtime") {
        throw std::runtime_error("plain runtime error");
    } else if (mode == L"other") {
        throw 42;
    } else if (mode == L"store7-then-fail") {
        exitCode = 7;
        VK_THROW_MSG("failed after storing");
    } else {
        VK_THROW_MSG("unknown probe mode: " << mode);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    app::wlaunch(std::nothrow, probeMain);
    return exitCode;
}
