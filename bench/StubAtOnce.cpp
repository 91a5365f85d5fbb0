// The setup stub's start-up without its work: the same code, libraries,
// resources and link, with a WinMain that returns at once. What it costs over
// a program that does nothing is what the stub's size, imports and static
// initialisation cost every run.
#include "WinApp.h"
#include "WrapperMain.h"
#include "WindowsApi.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    // Never true (the system always passes a command line), but the compiler
    // cannot know: the whole stub stays linked in.
    if (commandLine == nullptr) {
        app::wlaunch(std::nothrow, wrapperMain);
        return exitCode;
    }
    return 0;
}
