#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The BCP-47 tag of a Windows language (LANGID), for the languages a
// product is commonly translated into; nothing for the others, which are
// shown by number alone. The same table on every host.
std::optional<std::string> languageTag(uint32_t language);

// The languages a package's Template lists after its platform
// ("Intel;1033,1031" gives 1033 and 1031); empty when it lists none or
// anything but decimal numbers.
std::vector<uint32_t> templateLanguages(const std::string& platformTemplate);
