#pragma once

#include "tstrings.h"

#include <cstdint>
#include <string>
#include <vector>

class StagedOutput;

struct PackRequest {
    tstring package;
    tstring output;
    // The setup stub to copy; empty for the one installed with the tool.
    tstring stub;
    // An .ico file to replace the stub's icon; empty to keep it.
    tstring icon;
    // The user's signer (see Signer): signs a copy of the package before it
    // is packed, unless it carries a signature already, and the setup before
    // it is published. Empty: nothing is signed.
    tstring signCommand;
    // --language, each as given: a variant package of the same product, or
    // LANGID=FILE.mst. Empty: the package is packed as it is.
    std::vector<tstring> languages;
};

// What the user reads after packing.
struct PackReport {
    std::vector<tstring> notes;
    std::vector<tstring> warnings;
};

// Writes a setup executable that carries the package, its product code and a
// version record describing the product. The output appears only when it is
// complete and checked (and signed, when a signer is given); a failure leaves
// neither it nor a staging file nor a signer's file.
PackReport pack(const PackRequest& request);

// The last step of pack(): reads the finished setup back and publishes it
// only when its resource tree leads to the package where it was written, with
// its size, and to the product code (the braced GUID, no terminator).
// Otherwise throws, naming the setup as `setupName` ("the new setup", "the
// sign command's output") and saying that the output was not written; the
// output stays as it was.
void publishCheckedSetup(StagedOutput& output, uint64_t packageOffset, uint64_t packageSize,
                         const std::string& productCode, const tstring& setupName);
