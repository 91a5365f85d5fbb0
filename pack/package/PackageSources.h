#pragma once

#include "PackageFacts.h"
#include "tstrings.h"

// A setup executable runs its package from a private temporary directory with
// nothing beside it, where msiexec looks for a package's external cabinets and
// uncompressed files, and msiexec finds no source at all for a file on no
// disk. Throws an error for the user, naming the cabinet or the files, when
// the package has any such.
void requireEmbeddedSources(const RawPackageFacts& facts, const tstring& msiPath);
