#pragma once

#include "tstrings.h"

// Windows Installer's ProductVersion: major.minor.build[.revision], each a
// decimal number, major and minor up to 255, build up to 65535. Windows
// Installer ignores a fourth field when it compares versions (it must still
// be a number up to 65535 to be read). A value it cannot read makes its
// upgrades and a tool's detection rule compare something else than the
// author meant.
namespace ProductVersion {

// What is wrong with `version`, as a sentence for the user that names it;
// empty when Windows Installer takes it (or the package sets none).
tstring problemWith(const tstring& version);

// Throws the problem as an error for the user.
void require(const tstring& version);

} // namespace ProductVersion
