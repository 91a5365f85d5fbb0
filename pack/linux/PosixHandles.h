#pragma once

#include "PackFiles.h"

// The descriptor of a staged output, for a reader that opens it by its
// /proc/self/fd path.
int descriptorOf(const StagedOutput& output);
