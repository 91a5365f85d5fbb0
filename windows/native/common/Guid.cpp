#include "Guid.h"

#include "ErrorHandling.h"
#include "GuidText.h"
#include "WinDll.h"
#include "WindowsApi.h"

#include <objbase.h>

#include <cstring>
#include <optional>

namespace {

// The COM functions that read and write GUID text and make GUIDs. ole32.dll
// pulls a dozen libraries in with it; only the removal needs it, so it is
// loaded, from the system directory, on first use.
struct Ole32 {
    decltype(&::IIDFromString) iidFromString;
    decltype(&::StringFromGUID2) stringFromGuid2;
    decltype(&::CoCreateGuid) coCreateGuid;
};

const Ole32& ole32() {
    return systemLibraryFunctions<Ole32>(L"ole32.dll", [](const Dll& library) {
        Ole32 functions{};
        library.resolve("IIDFromString", functions.iidFromString);
        library.resolve("StringFromGUID2", functions.stringFromGuid2);
        library.resolve("CoCreateGuid", functions.coCreateGuid);
        return functions;
    });
}

// The text as the platform is to read it: any form the normaliser knows in
// its canonical form, anything else unchanged, for the platform to refuse.
GUID initGuid(const tstring& text) {
    const tstring platformText = canonicalGuid(text).value_or(text);
    GUID value{};
    if (FAILED(ole32().iidFromString(platformText.c_str(), &value))) {
        VK_THROW_MSG("IIDFromString(" << platformText << ") failed");
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
    static_assert(sizeof(GUID) == sizeof(value_), "a GUID is 16 bytes");
    const GUID value = initGuid(text);
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
