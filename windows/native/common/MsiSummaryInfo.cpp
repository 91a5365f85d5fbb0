#include "MsiSummaryInfo.h"

#include "ErrorHandling.h"
#include "MsiApi.h"
#include "MsiDb.h"

#include <wtypes.h>

#include <vector>

namespace msi {

namespace {

UniqueMsiHandle openSummaryInfo(const Database& db) {
    UniqueMsiHandle handle;
    const UINT status = api().getSummaryInformation(db.handle(), nullptr, 0, handle.put());
    if (status != ERROR_SUCCESS) {
        VK_THROW(Error(tstrings::TextBuilder("MsiGetSummaryInformation(") << db.path() << ") failed",
                       status));
    }
    return handle;
}

struct Value {
    UINT type = VT_EMPTY;
    INT integer = 0;
    tstring text;
};

Value readProperty(MSIHANDLE_T handle, uint32_t property) {
    Value value;
    FILETIME time{};
    std::vector<wchar_t> buffer(64, L'\0');
    DWORD length = static_cast<DWORD>(buffer.size());
    UINT status = api().summaryInfoGetProperty(handle, property, &value.type, &value.integer,
                                               &time, buffer.data(), &length);
    if (status == ERROR_MORE_DATA) {
        // The length came back without the terminator.
        buffer.assign(length + 1, L'\0');
        length = static_cast<DWORD>(buffer.size());
        status = api().summaryInfoGetProperty(handle, property, &value.type, &value.integer, &time,
                                              buffer.data(), &length);
    }
    if (status != ERROR_SUCCESS) {
        VK_THROW(Error(tstrings::TextBuilder("MsiSummaryInfoGetProperty(") << property << ") failed",
                       status));
    }
    if (value.type == VT_LPSTR) {
        value.text.assign(buffer.data(), length);
    }
    return value;
}

[[noreturn]] void throwTypeMismatch(uint32_t property, UINT type, const char* expected) {
    VK_THROW(Error(tstrings::TextBuilder("Summary property ")
                       << property << " is of type " << type << ", not " << expected,
                   ERROR_DATATYPE_MISMATCH));
}

} // namespace

SummaryInfo::SummaryInfo(const Database& db) : handle_(openSummaryInfo(db)) {}

tstring SummaryInfo::getString(Property property) const {
    const Value value = readProperty(handle_.get(), property);
    if (value.type != VT_EMPTY && value.type != VT_LPSTR) {
        throwTypeMismatch(property, value.type, "a string");
    }
    return value.text;
}

int32_t SummaryInfo::getInteger(Property property, int32_t whenNotSet) const {
    const Value value = readProperty(handle_.get(), property);
    if (value.type == VT_EMPTY) {
        return whenNotSet;
    }
    if (value.type != VT_I2 && value.type != VT_I4) {
        throwTypeMismatch(property, value.type, "an integer");
    }
    return value.integer;
}

} // namespace msi
