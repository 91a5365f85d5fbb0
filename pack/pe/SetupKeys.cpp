#include "SetupKeys.h"

#include "SetupResourceNames.h"
#include "tstrings.h"

namespace SetupKeys {

namespace {

ResourceId named(const wchar_t* ascii) {
    std::u16string name;
    for (; *ascii; ++ascii) {
        name.push_back(static_cast<char16_t>(*ascii));
    }
    return ResourceId::of(tstrings::toUpper(name));
}

ResourceKey rcdataKey(const wchar_t* name) {
    return ResourceKey{rcdata(), named(name), SetupResourceNames::language};
}

} // namespace

ResourceId rcdata() { return ResourceId::of(SetupResourceNames::type); }
ResourceKey package() { return rcdataKey(SetupResourceNames::package); }
ResourceKey productCode() { return rcdataKey(SetupResourceNames::productCode); }
ResourceKey languages() { return rcdataKey(SetupResourceNames::languages); }
ResourceId stubMarker() { return named(SetupResourceNames::stubMarker); }

} // namespace SetupKeys
