#pragma once

#include "tstrings.h"

// The user's signing tool: a command line in which %1 stands for the file to
// sign and %2, where it appears, for the path where the signed file must be
// written (without %2 the tool signs %1 in place). Each is replaced by the
// path quoted for the host's shell.
// What is signed: told to the signer as VELKIN_SIGN_STEP (package or setup),
// so that each layer can have its own certificate or description.
enum class SignStep { Package, Setup };

class Signer {
public:
    explicit Signer(tstring commandLine) : commandLine_(std::move(commandLine)) {}

    // The command line for signing `file` into `signedFile`.
    tstring commandFor(const tstring& file, const tstring& signedFile) const;

    // Without %2: the signer changes the file it is given.
    bool signsInPlace() const { return commandLine_.find(L"%2") == tstring::npos; }

    // Signs `file` and gives the path of the signed file: `file` itself, or
    // `signedFile` when the command writes there. `original` holds the bytes
    // that `file` has now and is left alone by the signer (for a signer that
    // writes a new file, `file` itself). A signer that fails, writes no file
    // or leaves the bytes as they were throws an error for the user that
    // starts with the step ("Signing the package") and gives the signer's
    // exit code and the last line it wrote to standard error.
    tstring sign(SignStep step, const tstring& file, const tstring& signedFile, const tstring& original) const;

    // The step in the user's words: "Signing the package".
    static tstring describe(SignStep step);

    // Whether a command line names the file to sign.
    static bool namesFile(const tstring& commandLine);

private:
    tstring commandLine_;
};
