#include "Guid.h"

#include "ErrorHandling.h"
#include "WinDll.h"
#include "WindowsApi.h"

#include <objbase.h>

#include <cstring>

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
    tstring parsed = text;
    const bool braced = text.size() == 38 && text.front() == L'{' && text.back() == L'}';
    if (!braced && text.size() >= 32) {
        tstring copy = text;
        if (text.front() != L'{' && text.back() != L'}') {
            copy = L"{" + copy + L"}";
        }
        if (text.find(L'-') == tstring::npos) {
            for (const size_t position : {9, 14, 19, 24}) {
                copy.insert(position, 1, L'-');
            }
        }
        if (copy.size() == 38) {
            parsed = copy;
        }
    }
    if (FAILED(ole32().iidFromString(parsed.c_str(), &value))) {
        VK_THROW_MSG("IIDFromString(" << parsed << ") failed");
    }
}

} // namespace

Guid::Guid() { std::memset(value_, 0, sizeof(value_)); }

Guid::Guid(const _GUID& value) {
    std::memcpy(value_, &value, sizeof(value_));
}

namespace {

tstring widenBytes(const std::string& text) {
    tstring wide;
    for (const char c : text) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return wide;
}

} // namespace

Guid::Guid(const std::string& text) : Guid(widenBytes(text)) {}

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
