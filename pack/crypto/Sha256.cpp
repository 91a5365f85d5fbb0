#include "Sha256.h"

std::string Sha256::hex(const std::array<uint8_t, 32>& digest) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}
