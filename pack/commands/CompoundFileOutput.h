#pragma once

#include "CompoundFile.h"
#include "tstrings.h"

// Writes `root` as a compound file to `output`, staged and published only
// once velkin-pack has checked what it wrote as it checks what it reads.
void writeCompoundFileTo(const CompoundStorage& root, const tstring& output);
