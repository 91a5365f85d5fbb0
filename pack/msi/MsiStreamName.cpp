#include "MsiStreamName.h"

namespace {

constexpr char16_t tableMark = 0x4840;
constexpr char16_t pairBase = 0x3800;
constexpr char16_t singleBase = 0x4800;

int codeOf(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    if (c >= 'a' && c <= 'z') return c - 'a' + 36;
    if (c == '.') return 62;
    if (c == '_') return 63;
    return -1;
}

char charOf(int code) {
    static const char set[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._";
    return set[code];
}

void appendUtf8(std::string& out, char16_t unit) {
    if (unit < 0x80) {
        out += static_cast<char>(unit);
    } else if (unit < 0x800) {
        out += static_cast<char>(0xC0 | unit >> 6);
        out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | unit >> 12);
        out += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    }
}

} // namespace

namespace MsiStreamName {

std::u16string encode(const std::string& name, bool isTable) {
    std::u16string stored;
    // The storage's own streams (the summary information, signatures) keep
    // their names as they are.
    if (!isTable && !name.empty() && name[0] == '\x05') {
        return std::u16string(name.begin(), name.end());
    }
    if (isTable) {
        stored += tableMark;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        const int first = codeOf(static_cast<unsigned char>(name[i]));
        const int second = i + 1 < name.size() ? codeOf(static_cast<unsigned char>(name[i + 1])) : -1;
        if (first < 0) {
            stored += static_cast<char16_t>(static_cast<unsigned char>(name[i]));
        } else if (second < 0) {
            stored += static_cast<char16_t>(singleBase + first);
        } else {
            stored += static_cast<char16_t>(pairBase + first + (second << 6));
            ++i;
        }
    }
    return stored;
}

std::string decode(const std::u16string& stored, bool& isTable) {
    std::string name;
    size_t start = 0;
    isTable = !stored.empty() && stored[0] == tableMark;
    if (isTable) {
        start = 1;
    }
    for (size_t i = start; i < stored.size(); ++i) {
        const char16_t unit = stored[i];
        if (unit >= pairBase && unit < singleBase) {
            name += charOf((unit - pairBase) & 0x3F);
            name += charOf((unit - pairBase) >> 6);
        } else if (unit >= singleBase && unit < singleBase + 64) {
            name += charOf(unit - singleBase);
        } else {
            appendUtf8(name, unit);
        }
    }
    return name;
}

} // namespace MsiStreamName

bool isSignatureStream(const std::u16string& name) {
    return name == u"\x05" u"DigitalSignature" || name == u"\x05" u"MsiDigitalSignatureEx";
}
