#include "SetupResources.h"

#include "WindowsApi.h"

#include <string>

namespace SetupResources {

const wchar_t* const type = MAKEINTRESOURCEW(SetupResourceNames::type);
const wchar_t* const package = L"msi";
const wchar_t* const productCode = L"product_code";

Guid decodeProductCode(const std::vector<uint8_t>& bytes) {
    return Guid(std::string(bytes.begin(), bytes.end()));
}

} // namespace SetupResources
