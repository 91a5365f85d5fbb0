#pragma once

#include "Guid.h"
#include "SetupResourceNames.h"

#include <cstdint>
#include <vector>

// The setup stub's side of what a setup executable carries (stored as
// SetupResourceNames.h says), as identifiers that the resource calls take.
namespace SetupResources {

// RT_RCDATA.
extern const wchar_t* const type;
extern const wchar_t* const package;
extern const wchar_t* const productCode;
extern const wchar_t* const languages;

// Throws when the bytes are no GUID.
Guid decodeProductCode(const std::vector<uint8_t>& bytes);

} // namespace SetupResources
