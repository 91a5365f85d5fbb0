#pragma once

#include "tstrings.h"

// Removes what setups ended hard (killed while extracting, or while msiexec
// ran) left in `tempDir`: the private directories of WorkDirectory that the
// current user owns and that no setup, and no msiexec started by one, holds.
// Directories of other users, of other programs, links and everything held
// stay. Never fails the run: what cannot go stays for a later one, and the
// reason goes to the log.
void sweepLeftovers(const tstring& tempDir);
