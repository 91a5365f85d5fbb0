#pragma once

#include "tstrings.h"

#include <cstddef>

// msiexec looks for a transform named by a relative path in the folder of the
// package, resolving "." and ".." from there. The setup's package lies in a
// private directory of its own, while its users put their transforms next to
// the setup executable (or above it), where msiexec run on a package next to
// the setup would find them. So the package goes as many folders deep into
// the private directory as the transforms reach above it, and each transform
// is copied to where msiexec will look: nothing is ever read by a relative
// name from outside the private directory.
namespace Transforms {

// More than that is refused rather than nested: each level lengthens the
// package's path.
constexpr size_t maxLevelsAbove = 8;

// The entries of the TRANSFORMS property of msiexec arguments that name a
// transform relative to the package's folder, as typed: not embedded
// (":name"), no full paths, nothing that hangs from a drive or a root ("C:x",
// "\x"). A leading "@" or "|" (secured transforms) is dropped.
tstring_array relativeTransforms(const tstring& arguments);

// How many folders above the package's folder those entries reach; throws,
// naming the entry, for one that reaches more than maxLevelsAbove.
size_t levelsAbove(const tstring& arguments);

// Throws, naming the entry, when msiexec could not find one of those entries
// from `packageFolder`, the folder of the package path that it is given: in
// the system's "\\?\" form a path is taken as it stands, so "." and ".."
// lead nowhere (nor does a slash), and msiexec would go on without the
// transform.
void checkReachable(const tstring& arguments, const tstring& packageFolder);

// Copies each of those entries from where it lies relative to `setupDir` to
// where it lies relative to `packageDir`, which must be at least levelsAbove
// folders deep in a directory of its own. A missing one is left for msiexec
// to report (it finds nothing at its place either).
void stageTransforms(const tstring& arguments, const tstring& setupDir,
                     const tstring& packageDir);

} // namespace Transforms
