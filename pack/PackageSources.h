#pragma once

#include "tstrings.h"

// A setup executable runs its package from a private temporary directory with
// nothing beside it, where msiexec looks for a package's external cabinets and
// uncompressed files. Throws an error for the user, naming the cabinet or the
// files, when the package has any.
void requireEmbeddedSources(const tstring& msiPath);
