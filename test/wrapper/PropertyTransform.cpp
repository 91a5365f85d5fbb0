#include "PropertyTransform.h"

#include "UniqueHandles.h"
#include "WindowsApi.h"

#include <objbase.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

// {000C1082-0000-0000-C000-000000000046}: the class of a transform storage.
const GUID transformClass = {0x000C1082, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

int nameCode(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'Z') return c - L'A' + 10;
    if (c >= L'a' && c <= L'z') return c - L'a' + 36;
    if (c == L'.') return 62;
    if (c == L'_') return 63;
    return -1;
}

// The installer packs two name characters into one; a table's stream name
// starts with a mark of its own.
tstring tableStreamName(const tstring& table) {
    tstring name(1, wchar_t(0x4840));
    for (size_t i = 0; i < table.size(); ++i) {
        const int first = nameCode(table[i]);
        const int second = i + 1 < table.size() ? nameCode(table[i + 1]) : -1;
        if (first < 0) {
            name += table[i];
        } else if (second < 0) {
            name += wchar_t(0x4800 + first);
        } else {
            name += wchar_t(0x3800 + first + (second << 6));
            ++i;
        }
    }
    return name;
}

void put16(std::vector<uint8_t>& out, size_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void check(HRESULT result, const char* what) {
    if (FAILED(result)) {
        throw std::runtime_error(std::string("cannot write the transform: ") + what);
    }
}

void writeStream(IStorage& storage, const tstring& name, const std::vector<uint8_t>& data) {
    IStream* raw = nullptr;
    check(storage.CreateStream(name.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0,
                               0, &raw),
          "CreateStream");
    const std::unique_ptr<IStream, ReleaseDeleter> stream(raw);
    ULONG written = 0;
    check(stream->Write(data.data(), static_cast<ULONG>(data.size()), &written), "Write");
}

} // namespace

void writePropertyTransform(const tstring& path, const std::string& property,
                            const std::string& value) {
    IStorage* raw = nullptr;
    check(::StgCreateDocfile(path.c_str(),
                             STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE | STGM_DIRECT, 0, &raw),
          "StgCreateDocfile");
    const std::unique_ptr<IStorage, ReleaseDeleter> storage(raw);
    check(storage->SetClass(transformClass), "SetClass");
    // The transform's own strings: a code page entry, then length and
    // reference count of string 1 (the name) and string 2 (the value).
    std::vector<uint8_t> pool;
    for (const size_t word : {size_t{0}, size_t{0}, property.size(), size_t{1}, value.size(), size_t{1}}) {
        put16(pool, word);
    }
    std::vector<uint8_t> strings(property.begin(), property.end());
    strings.insert(strings.end(), value.begin(), value.end());
    // One changed row of the Property table: a mask naming the changed
    // column (the value, column 2), the key's string, the value's string.
    std::vector<uint8_t> row;
    for (const size_t word : {size_t{0x0002}, size_t{1}, size_t{2}}) {
        put16(row, word);
    }
    writeStream(*storage, tableStreamName(L"_StringPool"), pool);
    writeStream(*storage, tableStreamName(L"_StringData"), strings);
    writeStream(*storage, tableStreamName(L"Property"), row);
}
