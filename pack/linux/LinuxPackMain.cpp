// velkin-pack for Linux: wraps a Windows Installer package into a setup
// executable, tells what a package or setup holds, and takes the package out
// again, with no Windows anywhere.
#include "NativeText.h"
#include "PackCommand.h"

int main(int argc, char** argv) {
    tstring_array args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(fromNative(argv[i]));
    }
    return runPackCommand(args);
}
