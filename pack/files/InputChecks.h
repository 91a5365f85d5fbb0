#pragma once

#include "tstrings.h"

// The checks on velkin-pack's inputs that come before anything is read or
// written; each failure is one line for the user.

// An input must be a regular file. `what` names it as a sentence starts:
// "The package".
void requireInputFile(const tstring& path, const tstring& what);

// An output that is one of the inputs (however spelled) would destroy it.
// `what` names the input inside a sentence: "the package".
void refuseOutputOverInput(const tstring& output, const tstring& input, const tstring& what);
