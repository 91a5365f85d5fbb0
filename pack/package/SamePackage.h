#pragma once

#include "PackageFacts.h"

#include <string>

// What tells a signed copy of a package from another package: a signer adds
// signature streams and changes nothing else, so the product code, the
// package code, the summary information and the tables read stay as they
// were. Empty when nothing differs; otherwise what does, in words for a
// sentence: "its ProductCode {...} is not {...}", "its Media table differs".
std::string differenceFromOriginal(const RawPackageFacts& original, const RawPackageFacts& copy);
