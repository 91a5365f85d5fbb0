#pragma once

#include "tstrings.h"

#include <string>

// Whether a name can be a file's name on Windows, checked the same way on
// both hosts: the names that velkin-pack writes for Windows (a setup, the
// files of a deployment description) and the ones it writes into them (the
// setup's name in an install command or a package) must name a file there.
namespace WindowsFileName {

// Why Windows cannot hold `name` as a file's name, in words that follow
// "because": "it ends with a dot", "CON is the name of a device"; empty
// when it can. Refused: an empty name, more than 255 UTF-16 units, bytes
// that are no UTF-8 (on Linux), control characters, < > : " / \ | ? *, a trailing dot or blank, and the devices'
// names (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9 and their superscript
// numbers, CONIN$, CONOUT$), in any case, alone or before an extension.
tstring problemWith(const tstring& name);

// Throws an error for the user when Windows cannot hold `name`; `what` names
// it as a sentence starts: "-o", "The setup's file name".
void require(const tstring& name, const std::string& what);

// The last component of a path as this host splits paths (on Linux a
// backslash is part of a name, which Windows then cannot hold).
tstring leafOf(const tstring& path);

} // namespace WindowsFileName
