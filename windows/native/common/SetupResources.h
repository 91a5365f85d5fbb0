#pragma once

#include "Guid.h"

#include <cstdint>
#include <string>
#include <vector>

// What a setup executable carries beside its program, as RCDATA resources:
// the contract between velkin-pack, which writes them, and the setup stub,
// which reads them.
namespace SetupResources {

// RT_RCDATA.
extern const wchar_t* const type;
// The names as the stub looks them up. A lookup ignores case; the names are
// stored in upper case (storedName), as the resource compiler stores them.
// The whole installer package, byte for byte:
extern const wchar_t* const package;
// The package's ProductCode, the 38 ASCII characters of the braced GUID,
// without a terminator:
extern const wchar_t* const productCode;

tstring storedName(const wchar_t* name);

std::string encodeProductCode(const Guid& code);
// Throws when the bytes are no GUID.
Guid decodeProductCode(const std::vector<uint8_t>& bytes);

} // namespace SetupResources
