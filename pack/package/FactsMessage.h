#pragma once

#include "PackageFacts.h"

#include <functional>
#include <string>

// RawPackageFacts as bytes, for the way from the process that reads a package
// back to velkin-pack. Decoding checks every length: a message cut short or
// garbled throws.
std::string encodeFacts(const RawPackageFacts& facts);
RawPackageFacts decodeFacts(const std::string& message);

// The facts in the answer that `answer` waits for, from a reader of the
// package shown as `shownPath`. A package the reader found damaged gives a
// DamagedFileError for the user; any other failure (the reader crashed, took
// too long, answered garbled) an error with its own reason.
RawPackageFacts factsFromReader(const std::function<std::string()>& answer, const tstring& shownPath);
