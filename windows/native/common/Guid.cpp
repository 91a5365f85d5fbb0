#include "Guid.h"

#include "ErrorHandling.h"
#include "GuidText.h"
#include "WinDll.h"
#include "WindowsApi.h"

#include <objbase.h>

#include <cstring>
#include <optional>

namespace {

// The COM functions that read and write GUID text. ole32.dll pulls a dozen
// libraries in with it; only the removal needs it, so it is loaded, from the
// system directory, on first use.
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

void initGuid(const tstring& text, GUID& value) {
    static_assert(sizeof(GUID) == 16, "a GUID is 16 bytes");
    const std::optional<tstring> canonical = canonicalGuid(text);
    if (!canonical) {
        VK_THROW_MSG(text << " is not a GUID");
    }
    if (FAILED(ole32().iidFromString(canonical->c_str(), &value))) {
        VK_THROW_MSG("IIDFromString(" << *canonical << ") failed");
    }
}

} // namespace

Guid::Guid() { std::memset(value_, 0, sizeof(value_)); }

Guid::Guid(const _GUID& value) {
    std::memcpy(value_, &value, sizeof(value_));
}

Guid::Guid(const std::string& text) : Guid(tstrings::widenBytes(text)) {}

Guid::Guid(const tstring& text) {
    GUID value;
    initGuid(text, value);
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
