#pragma once

#include "tstrings.h"

// msiexec looks for a transform named by a relative path in the folder of the
// package. The setup's package lies in a private directory of its own, while
// its users put their transforms next to the setup executable.
namespace Transforms {

// The transforms that the TRANSFORMS property of msiexec arguments names by a
// relative path: not embedded (":name"), not full paths ("|" before the list),
// never reaching out of the package's folder ("..", a drive, a root). An "@"
// (at the source) is dropped.
tstring_array relativeTransforms(const tstring& arguments);

// Copies each of those that lies in `sourceDir` to the same relative place in
// `packageDir`. A missing one is left for msiexec to report.
void stageTransforms(const tstring& arguments, const tstring& sourceDir,
                     const tstring& packageDir);

} // namespace Transforms
