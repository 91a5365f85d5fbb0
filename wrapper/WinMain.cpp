#include "WinApp.h"
#include "WrapperMain.h"
#include "WindowsApi.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    app::wlaunch(std::nothrow, wrapperMain);
    return exitCode;
}
