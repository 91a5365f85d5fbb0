#pragma once

#include "tstrings.h"

#include <map>
#include <string>

// A command line of the user's, run through the host's shell (/bin/sh -c on
// Linux, cmd /c on Windows). Each host has its half.
namespace ShellCommand {

// `path` written so that the host's shell hands it to a program as one
// argument, as it is.
tstring quote(const tstring& path);
// The same for a path put between double quotes that the user wrote around
// its place ("%1").
tstring quoteWithin(const tstring& path);

// How long the command's processes may take to end once a signal was passed
// on to them (Linux).
constexpr int groupEndSeconds = 10;

struct Outcome {
    // False when a signal ended the command (Linux); `code` is then the
    // signal's number, otherwise the exit code.
    bool exited;
    int code;
    // The last line the command wrote to its standard error that is not
    // blank, without the line end; empty when it wrote none.
    std::string lastErrorLine;
    // The signal that ended velkin-pack's run while the command ran, passed
    // on to it (Linux: SIGINT, SIGTERM, SIGHUP); 0 for none.
    int interruptedBy = 0;
    // After such a signal, processes of the command's were still running
    // when the bound for their end had passed, and were ended with SIGKILL
    // (Linux).
    bool groupKilled = false;
};

// Runs the command with velkin-pack's standard input, and its standard
// output going to velkin-pack's standard error; its standard error is read,
// not shown, until the command ends (not until the stream ends: a process it
// leaves running may hold that). Throws only when the shell cannot be
// started. `variables` are added to the environment it inherits, in place
// of any of the same name.
Outcome run(const tstring& commandLine, const std::map<tstring, tstring>& variables);

// The last non-blank line of `text`, without its line end ("\n" or "\r\n").
std::string lastLine(const std::string& text);

} // namespace ShellCommand
