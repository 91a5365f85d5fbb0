#include "WinApp.h"
#include "WinDll.h"
#include "WrapperMain.h"
#include "WindowsApi.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // A setup program runs from a Downloads folder: no library may come from
    // there, not even one that the installer loads on our behalf.
    restrictLibrarySearchToSystemDirectory();
    app::wlaunch(std::nothrow, wrapperMain);
    return exitCode;
}
