#pragma once

#include <string>

// Removes `path` and all it holds, deepest first, never following a link:
// a link is removed as itself. What cannot be removed stays; nothing is
// reported, since the callers remove what is theirs on the way out.
void removeTree(const std::string& path);
