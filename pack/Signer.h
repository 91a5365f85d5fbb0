#pragma once

#include "tstrings.h"

// The user's signing tool: a command line in which %1 stands for the file to
// sign and %2, where it appears, for the path where the signed file must be
// written (without %2 the tool signs %1 in place). Each is replaced by the
// path quoted for the host's shell.
class Signer {
public:
    explicit Signer(tstring commandLine) : commandLine_(std::move(commandLine)) {}

    // The command line for signing `file` into `signedFile`.
    tstring commandFor(const tstring& file, const tstring& signedFile) const;

    // Signs `file` and gives the path of the signed file: `file` itself, or
    // `signedFile` when the command writes there. A signer that fails, writes
    // no file or leaves the bytes as they were throws an error for the user
    // that starts with `step` ("Signing the package") and gives the signer's
    // exit code and the last line it wrote to standard error.
    tstring sign(const tstring& step, const tstring& file, const tstring& signedFile) const;

    // Whether a command line names the file to sign.
    static bool namesFile(const tstring& commandLine);

private:
    tstring commandLine_;
};
