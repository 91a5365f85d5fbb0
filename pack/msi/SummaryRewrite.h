#pragma once

#include "ByteSource.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A summary information stream with some of its text properties given new
// values: its header, every other property (times included, which
// SummaryInformation does not carry) and their order kept byte for byte, a
// replaced property where it was, a new one after the others. For a package
// whose summary must change in a field or two and stay what it was in all
// else. Throws a DamagedFileError for a stream that is no property set of one
// section.
std::vector<uint8_t> replaceSummaryTexts(const ByteSource& stream, const std::map<uint32_t, std::string>& texts);
