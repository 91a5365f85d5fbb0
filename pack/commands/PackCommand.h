#pragma once

#include "tstrings.h"

// velkin-pack's command line, after the program name: packs, inspects or
// extracts, writes what the user reads to standard output and standard error,
// and gives the exit code: 0 done, 1 refused or failed, 2 a command line it
// does not understand.
int runPackCommand(const tstring_array& args);
