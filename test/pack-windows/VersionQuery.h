#pragma once

#include "tstrings.h"

#include <cstdint>
#include <vector>

// A value of a version record's U.S. English string table, read by the
// system's own parser; "<missing>" when the record has no such value.
tstring queryVersionString(std::vector<uint8_t> record, const tstring& name);
