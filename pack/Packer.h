#pragma once

#include "tstrings.h"

#include <cstdint>
#include <vector>

struct PackRequest {
    tstring package;
    tstring output;
    // The setup stub to copy; empty for the velkin-setup.exe next to the tool.
    tstring stub;
    // An .ico file to replace the stub's icon; empty to keep it.
    tstring icon;
};

// The largest package that a setup executable can carry: the whole image
// must stay below 2 GiB, and the stub and the other resources need room.
extern const uint64_t maxPackageSize;

// Writes a setup executable that carries the package, its product code and a
// version record describing the product. The output appears only when it is
// complete and checked; a failure leaves neither it nor a staging file.
// Gives the warnings for the user.
std::vector<tstring> pack(const PackRequest& request);
