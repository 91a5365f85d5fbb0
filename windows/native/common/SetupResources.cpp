#include "SetupResources.h"

#include "WindowsApi.h"

namespace SetupResources {

const wchar_t* const type = RT_RCDATA;
const wchar_t* const package = L"msi";
const wchar_t* const productCode = L"product_code";

tstring storedName(const wchar_t* name) { return tstrings::toUpper(name); }

std::string encodeProductCode(const Guid& code) {
    const tstring text = code.toString();
    return std::string(text.begin(), text.end());
}

Guid decodeProductCode(const std::vector<uint8_t>& bytes) {
    return Guid(std::string(bytes.begin(), bytes.end()));
}

} // namespace SetupResources
