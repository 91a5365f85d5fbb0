#pragma once

#include "MsiUtils.h"
#include "tstrings.h"

#include <cstdint>

namespace msi {

class Database;

// The summary information stream of a package, read-only.
class SummaryInfo {
public:
    // Property identifiers of the stream.
    enum Property : uint32_t {
        Subject = 3,
        Comments = 6,
        Template = 7,        // platform and languages: "x64;1033"
        RevisionNumber = 9,  // the package code
        WordCount = 15,      // the source image flags
    };

    explicit SummaryInfo(const Database& db);

    // Empty when the property is not set.
    tstring getString(Property property) const;
    // `whenNotSet` when the property is not set.
    int32_t getInteger(Property property, int32_t whenNotSet) const;

private:
    UniqueMsiHandle handle_;
};

} // namespace msi
