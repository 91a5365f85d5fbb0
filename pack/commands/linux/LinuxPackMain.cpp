// velkin-pack for Linux: wraps a Windows Installer package into a setup
// executable, tells what a package or setup holds, and takes the package out
// again, with no Windows anywhere.
#include "NativeText.h"
#include "PackCommand.h"
#include "StandardStreams.h"

#include <signal.h>

int main(int argc, char** argv) {
    openMissingStandardStreams();
    // A reader of the report that has gone (`| head`) is told by the failed
    // write, which ends nothing else.
    ::signal(SIGPIPE, SIG_IGN);
    // A file size limit (`ulimit -f`) reached is a failed write like any
    // other, told with the file's name, not an end without a word. A
    // handler, not SIG_IGN: a signer started later gets the default again.
    struct sigaction overSize = {};
    overSize.sa_handler = [](int) {};
    ::sigaction(SIGXFSZ, &overSize, nullptr);
    tstring_array args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(fromNative(argv[i]));
    }
    return runPackCommand(args);
}
