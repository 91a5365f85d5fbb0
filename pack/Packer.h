#pragma once

#include "tstrings.h"

#include <cstdint>
#include <vector>

class MappedFile;
class StagedOutput;

struct PackRequest {
    tstring package;
    tstring output;
    // The setup stub to copy; empty for the velkin-setup.exe next to the tool.
    tstring stub;
    // An .ico file to replace the stub's icon; empty to keep it.
    tstring icon;
};

// The largest package that a setup executable made from a stub of
// `stubSize` bytes (and an icon of `iconSize`) can carry. A Windows image,
// and so the whole setup executable, must stay below 2 GiB; Wine's resource
// update crashes beyond it. 64 KiB are kept for the version record, the
// product code and the section alignment.
uint64_t maxPackageSize(uint64_t stubSize, uint64_t iconSize);

// Writes a setup executable that carries the package, its product code and a
// version record describing the product. The output appears only when it is
// complete and checked; a failure leaves neither it nor a staging file.
// Gives the warnings for the user.
std::vector<tstring> pack(const PackRequest& request);

// The last step of pack(): reads the finished staging file back as Windows
// would and commits the output only when it carries the package byte for
// byte and the product code (the braced GUID, no terminator). Otherwise
// throws, and the output stays as it was.
void publishCheckedSetup(StagedOutput& output, const MappedFile& package,
                         const tstring& productCode);
