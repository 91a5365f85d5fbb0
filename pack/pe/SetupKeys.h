#pragma once

#include "ResourceTree.h"

// The places in a setup's resource tree that velkin-pack writes and reads.
namespace SetupKeys {

ResourceId rcdata();
ResourceKey package();
ResourceKey productCode();
ResourceKey languages();
ResourceId stubMarker();

// Resource types by number.
constexpr uint16_t icon = 3;
constexpr uint16_t iconGroup = 14;
constexpr uint16_t version = 16;

} // namespace SetupKeys
