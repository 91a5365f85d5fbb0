// The common layer converts UTF-8 itself, for either width of wchar_t; on
// Windows it must agree with the system's converter (as the setup called it
// before: flags 0 out, MB_ERR_INVALID_CHARS in) on every input.
#include "WindowsApi.h"
#include "tstrings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string systemToUtf8(const tstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size,
                          nullptr, nullptr);
    return result;
}

tstring systemFromUtf8(const std::string& text) {
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    tstring result(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                          static_cast<int>(text.size()), &result[0], size);
    return result;
}

// Every text of one to `length` items drawn from `alphabet`.
template <class Text, class Check>
void forEveryText(const std::vector<typename Text::value_type>& alphabet, size_t length,
                  Check check) {
    std::vector<size_t> digits;
    for (size_t size = 1; size <= length; ++size) {
        digits.assign(size, 0);
        for (;;) {
            Text text;
            for (const size_t digit : digits) {
                text += alphabet[digit];
            }
            check(text);
            size_t position = 0;
            while (position < size && ++digits[position] == alphabet.size()) {
                digits[position++] = 0;
            }
            if (position == size) {
                break;
            }
        }
    }
}

TEST(Utf8ConversionTest, EveryCodeUnitAndSurrogateMixEncodesAsTheSystemDoes) {
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        const tstring text(1, static_cast<wchar_t>(unit));
        ASSERT_EQ(systemToUtf8(text), tstrings::toUtf8(text)) << "unit " << unit;
    }
    const std::vector<wchar_t> units = {L'\0', L'A',    L'\u07FF', L'\uD7FF', 0xD800,  0xDBFF,
                                        0xDC00, 0xDFFF, L'\uE000', L'\uFFFD', L'\uFFFF'};
    forEveryText<tstring>(units, 4, [](const tstring& text) {
        ASSERT_EQ(systemToUtf8(text), tstrings::toUtf8(text));
    });
}

TEST(Utf8ConversionTest, EveryShortByteSequenceDecodesAsTheSystemDoes) {
    for (unsigned pair = 0; pair <= 0xFFFF; ++pair) {
        const std::string text{static_cast<char>(pair >> 8), static_cast<char>(pair & 0xFF)};
        ASSERT_EQ(systemFromUtf8(text), tstrings::fromUtf8(text)) << "bytes " << pair;
    }
    // The bytes at the edges of every rule: ASCII, continuation ranges, lead
    // bytes of each length, and those that start nothing.
    std::vector<char> edges;
    for (const unsigned byte : {0x00u, 0x41u, 0x7Fu, 0x80u, 0x8Fu, 0x90u, 0x9Fu, 0xA0u, 0xBFu,
                                0xC0u, 0xC1u, 0xC2u, 0xDFu, 0xE0u, 0xEDu, 0xEFu, 0xF0u, 0xF4u,
                                0xF5u, 0xFFu}) {
        edges.push_back(static_cast<char>(byte));
    }
    forEveryText<std::string>(edges, 4, [](const std::string& text) {
        ASSERT_EQ(systemFromUtf8(text), tstrings::fromUtf8(text));
    });
}

} // namespace
