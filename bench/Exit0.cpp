// Stands in for msiexec.exe in the extraction benchmark: exits at once.
#include "WindowsApi.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
