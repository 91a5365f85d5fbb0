#include "SetupResources.h"

#include "WindowsApi.h"

#include <string>

namespace SetupResources {

const wchar_t* const type = MAKEINTRESOURCEW(SetupResourceNames::type);
const wchar_t* const package = SetupResourceNames::package;
const wchar_t* const productCode = SetupResourceNames::productCode;
const wchar_t* const languages = SetupResourceNames::languages;

Guid decodeProductCode(const std::vector<uint8_t>& bytes) {
    return Guid(std::string(bytes.begin(), bytes.end()));
}

} // namespace SetupResources
