#pragma once

#include "tstrings.h"

#include <cstdint>
#include <string>

struct _GUID;

// A 128-bit identifier in the platform's layout: product codes.
class Guid {
public:
    enum Options { StripBraces = 1, StripDashes = 2, LowerCase = 4 };

    // All zero.
    Guid();
    explicit Guid(const _GUID& value);
    // Braced or not, dashed or not: "{8-4-4-4-12}", "8-4-4-4-12", 32 digits,
    // or 32 digits in braces. Each byte is taken as one character.
    explicit Guid(const std::string& text);
    explicit Guid(const tstring& text);

    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", less what the options remove.
    tstring toString(int options = 0) const;

    static Guid generate();

    bool operator<(const Guid& other) const { return toString() < other.toString(); }
    bool operator==(const Guid& other) const;
    bool operator!=(const Guid& other) const { return !(*this == other); }

private:
    uint8_t value_[16];
};
