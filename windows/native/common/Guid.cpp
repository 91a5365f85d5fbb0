#include "Guid.h"

#include "ErrorHandling.h"
#include "GuidText.h"
#include "WinDll.h"
#include "WindowsApi.h"

#include <objbase.h>

#include <cstring>
#include <optional>

namespace {

// The COM functions that write GUID text and make GUIDs. ole32.dll pulls a
// dozen libraries in with it; only the removal needs it, so it is loaded,
// from the system directory, on first use.
struct Ole32 {
    decltype(&::StringFromGUID2) stringFromGuid2;
    decltype(&::CoCreateGuid) coCreateGuid;
};

const Ole32& ole32() {
    return systemLibraryFunctions<Ole32>(L"ole32.dll", [](const Dll& library) {
        Ole32 functions{};
        library.resolve("StringFromGUID2", functions.stringFromGuid2);
        library.resolve("CoCreateGuid", functions.coCreateGuid);
        return functions;
    });
}

// The number that `count` digits of the canonical (upper-case) text give
// from `position` on.
uint32_t hexValue(const tstring& canonical, size_t position, size_t count) {
    uint32_t value = 0;
    for (size_t i = position; i < position + count; ++i) {
        const wchar_t c = canonical[i];
        value = value * 16 + static_cast<uint32_t>(c <= L'9' ? c - L'0' : c - L'A' + 10);
    }
    return value;
}

// Data1, Data2 and Data3 are numbers, Data4 bytes, as the text lists them.
GUID parseGuid(const tstring& text) {
    static_assert(sizeof(GUID) == 16, "a GUID is 16 bytes");
    const std::optional<tstring> canonical = canonicalGuid(text);
    if (!canonical) {
        VK_THROW_MSG(text << " is not a GUID");
    }
    GUID value{};
    value.Data1 = hexValue(*canonical, 1, 8);
    value.Data2 = static_cast<uint16_t>(hexValue(*canonical, 10, 4));
    value.Data3 = static_cast<uint16_t>(hexValue(*canonical, 15, 4));
    for (size_t i = 0; i < 8; ++i) {
        value.Data4[i] = static_cast<uint8_t>(hexValue(*canonical, i < 2 ? 20 + 2 * i : 21 + 2 * i, 2));
    }
    return value;
}

} // namespace

Guid::Guid() { std::memset(value_, 0, sizeof(value_)); }

Guid::Guid(const _GUID& value) {
    std::memcpy(value_, &value, sizeof(value_));
}

Guid::Guid(const std::string& text) : Guid(tstrings::widenBytes(text)) {}

Guid::Guid(const tstring& text) {
    const GUID value = parseGuid(text);
    std::memcpy(value_, &value, sizeof(value_));
}

tstring Guid::toString(int options) const {
    GUID value;
    std::memcpy(&value, value_, sizeof(value_));
    wchar_t buffer[128] = {};
    if (ole32().stringFromGuid2(value, buffer, 128) < 3) {
        VK_THROW_MSG("StringFromGUID2() failed");
    }
    tstring text = buffer;
    if (options & StripBraces) {
        text = text.substr(1, text.size() - 2);
    }
    if (options & StripDashes) {
        text = tstrings::replace(text, L"-", L"");
    }
    if (options & LowerCase) {
        text = tstrings::toLower(text);
    }
    return text;
}

Guid Guid::generate() {
    GUID value{};
    if (FAILED(ole32().coCreateGuid(&value))) {
        VK_THROW_MSG("CoCreateGuid() failed");
    }
    return Guid(value);
}

bool Guid::operator==(const Guid& other) const {
    return std::memcmp(value_, other.value_, sizeof(value_)) == 0;
}
