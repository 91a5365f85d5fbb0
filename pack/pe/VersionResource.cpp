#include "VersionResource.h"

#include "ByteSource.h"
#include "ErrorHandling.h"

#include <cwctype>

namespace {

class Writer {
public:
    size_t size() const { return bytes_.size(); }

    void word(uint16_t value) {
        bytes_.resize(bytes_.size() + 2);
        LittleEndian::put16(&bytes_[bytes_.size() - 2], value);
    }
    void dword(uint32_t value) {
        bytes_.resize(bytes_.size() + 4);
        LittleEndian::put32(&bytes_[bytes_.size() - 4], value);
    }
    // With its terminating zero.
    void text(const std::u16string& value) {
        for (const char16_t unit : value) {
            word(unit);
        }
        word(0);
    }
    void align() { bytes_.resize((bytes_.size() + 3) & ~size_t{3}, 0); }
    void patchWord(size_t offset, uint16_t value) { LittleEndian::put16(&bytes_[offset], value); }

    std::vector<uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

// One node of the version tree: length, value length, type, key, value and
// children, each part on a 32-bit boundary. The length is filled in once the
// children are written.
template <class Body>
void node(Writer& out, const std::u16string& key, uint16_t valueLength, uint16_t type, Body body) {
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

// Each of a record's lengths has 16 bits: values are cut to this many
// UTF-16 units, "..." included, so that every record we write holds
// (Explorer shows far fewer).
constexpr size_t longestValue = 1024;
const std::u16string cutMark = u"...";

std::u16string heldValue(std::u16string value) {
    if (value.size() <= longestValue) {
        return value;
    }
    size_t kept = longestValue - cutMark.size();
    // A character beyond the BMP stays whole or goes.
    if (value[kept - 1] >= 0xD800 && value[kept - 1] <= 0xDBFF) {
        --kept;
    }
    value.resize(kept);
    return value + cutMark;
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
    const uint32_t versionHigh = uint32_t{parts[0]} << 16 | parts[1];
    const uint32_t versionLow = uint32_t{parts[2]} << 16 | parts[3];
    // The fixed part (VS_FIXEDFILEINFO): signature, structure version, file
    // and product versions, flags mask and flags, Windows NT 32-bit API, an
    // application, no subtype and no date.
    const uint32_t fixed[] = {0xFEEF04BD, 0x00010000, versionHigh, versionLow, versionHigh, versionLow,
                              0x3F,       0,          0x00040004,  1,          0,           0,
                              0};

    static const char hex[] = "0123456789abcdef";
    std::u16string table;
    for (const uint16_t value : {info.language, info.codePage}) {
        for (int shift = 12; shift >= 0; shift -= 4) {
            table.push_back(static_cast<char16_t>(hex[(value >> shift) & 0xF]));
        }
    }

    Writer out;
    node(out, u"VS_VERSION_INFO", sizeof(fixed), 0, [&] {
        for (const uint32_t field : fixed) {
            out.dword(field);
        }
        node(out, u"StringFileInfo", 0, 1, [&] {
            node(out, table, 0, 1, [&] {
                for (const auto& [name, value] : info.strings) {
                    const std::u16string text = heldValue(tstrings::toUtf16(value));
                    node(out, tstrings::toUtf16(name), static_cast<uint16_t>(text.size() + 1), 1,
                         [&] { out.text(text); });
                }
            });
        });
        node(out, u"VarFileInfo", 0, 1, [&] {
            node(out, u"Translation", 4, 0, [&] {
                out.word(info.language);
                out.word(info.codePage);
            });
        });
    });
    if (out.size() > 0xFFFF) {
        VK_THROW_MSG("The version record of " << info.strings.size() << " texts has " << out.size()
                                              << " bytes, more than its 16-bit length holds");
    }
    return out.take();
}
