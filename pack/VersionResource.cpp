#include "VersionResource.h"

#include "WindowsApi.h"

#include <cwctype>

namespace {

class Writer {
public:
    size_t size() const { return bytes_.size(); }

    void word(uint16_t value) { raw(&value, sizeof(value)); }
    void dword(uint32_t value) { raw(&value, sizeof(value)); }
    void text(const tstring& value) { raw(value.c_str(), (value.size() + 1) * sizeof(wchar_t)); }
    void raw(const void* data, size_t size) {
        const uint8_t* first = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), first, first + size);
    }
    void align() { bytes_.resize((bytes_.size() + 3) & ~size_t{3}, 0); }
    void patchWord(size_t offset, uint16_t value) {
        bytes_[offset] = static_cast<uint8_t>(value & 0xFF);
        bytes_[offset + 1] = static_cast<uint8_t>(value >> 8);
    }

    std::vector<uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

// One node of the version tree: length, value length, type, key, value and
// children, each part on a 32-bit boundary. The length is filled in once the
// children are written.
template <class Body>
void node(Writer& out, const tstring& key, uint16_t valueLength, uint16_t type, Body body) {
    out.align();
    const size_t start = out.size();
    out.word(0);
    out.word(valueLength);
    out.word(type);
    out.text(key);
    out.align();
    body();
    out.patchWord(start, static_cast<uint16_t>(out.size() - start));
}

} // namespace

void parseVersion(const tstring& version, uint16_t (&parts)[4]) {
    size_t position = 0;
    for (uint16_t& part : parts) {
        uint32_t value = 0;
        while (position < version.size() && std::iswdigit(version[position])) {
            value = value * 10 + static_cast<uint32_t>(version[position] - L'0');
            if (value > 0xFFFF) {
                value = 0xFFFF;
            }
            ++position;
        }
        part = static_cast<uint16_t>(value);
        while (position < version.size() && version[position] != L'.') {
            ++position;
        }
        if (position < version.size()) {
            ++position;
        }
    }
}

std::vector<uint8_t> buildVersionResource(const VersionInfo& info) {
    uint16_t parts[4];
    parseVersion(info.version, parts);
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = VS_FFI_SIGNATURE;
    fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
    fixed.dwFileVersionMS = fixed.dwProductVersionMS = MAKELONG(parts[1], parts[0]);
    fixed.dwFileVersionLS = fixed.dwProductVersionLS = MAKELONG(parts[3], parts[2]);
    fixed.dwFileFlagsMask = VS_FFI_FILEFLAGSMASK;
    fixed.dwFileOS = VOS_NT_WINDOWS32;
    fixed.dwFileType = VFT_APP;

    wchar_t table[9];
    swprintf(table, 9, L"%04x%04x", info.language, info.codePage);

    Writer out;
    node(out, L"VS_VERSION_INFO", sizeof(fixed), 0, [&] {
        out.raw(&fixed, sizeof(fixed));
        node(out, L"StringFileInfo", 0, 1, [&] {
            node(out, table, 0, 1, [&] {
                for (const auto& [name, value] : info.strings) {
                    node(out, name, static_cast<uint16_t>(value.size() + 1), 1,
                         [&] { out.text(value); });
                }
            });
        });
        node(out, L"VarFileInfo", 0, 1, [&] {
            node(out, L"Translation", 4, 0, [&] {
                out.word(info.language);
                out.word(info.codePage);
            });
        });
    });
    return out.take();
}
