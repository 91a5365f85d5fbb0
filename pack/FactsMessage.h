#pragma once

#include "PackageFacts.h"

#include <string>

// RawPackageFacts as bytes, for the way from the process that reads a package
// back to velkin-pack. Decoding checks every length: a message cut short or
// garbled throws.
std::string encodeFacts(const RawPackageFacts& facts);
RawPackageFacts decodeFacts(const std::string& message);
