#include "ErrorHandling.h"
#include "TestSupport.h"
#include "tstrings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

const tstring nonAscii = L"Gr\u00FC\u00DFe \u65E5\u672C \U0001F600";

TEST(tstringsTest, Utf8RoundTripKeepsEveryCodeUnit) {
    const std::string utf8 = tstrings::toUtf8(nonAscii);
    EXPECT_EQ("Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80", utf8);
    EXPECT_EQ(nonAscii, tstrings::fromUtf8(utf8));
    EXPECT_EQ("", tstrings::toUtf8(L""));
    EXPECT_EQ(L"", tstrings::fromUtf8(""));
}

TEST(tstringsTest, InvalidUtf8GivesEmptyTextWithoutError) {
    EXPECT_EQ(L"", tstrings::fromUtf8("abc\xFF"));
    EXPECT_EQ(L"", tstrings::fromUtf8("\xC3"));
}

TEST(tstringsTest, AnsiCodePageRoundTripOfAscii) {
    EXPECT_EQ("plain text", tstrings::toACP(L"plain text"));
    EXPECT_EQ(L"plain text", tstrings::fromACP("plain text"));
}

TEST(tstringsTest, FormatFitsAnyLengthExactly) {
    for (const size_t length : {0u, 1u, 255u, 256u, 257u, 511u, 512u, 1000u}) {
        const tstring filler(length, L'x');
        const tstring result = tstrings::format(L"%s", filler.c_str());
        EXPECT_EQ(filler, result) << "length " << length;
        EXPECT_EQ(length, result.size());
    }
}

TEST(tstringsTest, FormatWritesWideTextAndNumbers) {
    EXPECT_EQ(L"2024/01/02 setup.exe 4294967295 0x0000002A",
              tstrings::format(L"%04u/%02u/%02u %s %u 0x%08X", 2024u, 1u, 2u, L"setup.exe",
                               4294967295u, 42u));
}

TEST(tstringsTest, FormatRefusesNullFormat) {
    EXPECT_EQ("Destination buffer can't be NULL",
              failureOf<std::invalid_argument>([] { tstrings::format(nullptr); }));
}

TEST(tstringsTest, ToLowerChangesAsciiLettersOnly) {
    EXPECT_EQ(L"\u00C4bc", tstrings::toLower(L"\u00C4BC"));
    EXPECT_EQ(L"az@[`{09", tstrings::toLower(L"AZ@[`{09"));
}

TEST(tstringsTest, ToUpperChangesAsciiLettersOnlyInEitherForm) {
    EXPECT_EQ(L"\u00E4BC", tstrings::toUpper(L"\u00E4bc"));
    // A lone surrogate stays as it is.
    EXPECT_TRUE(std::u16string(u"AZ@[`{09\u00E4\xD83D") == tstrings::toUpper(std::u16string(u"az@[`{09\u00E4\xD83D")));
}

TEST(tstringsTest, WidenBytesKeepsEveryByteAsItsOwnCharacter) {
    EXPECT_EQ(tstring(L"a\u00FF\u0080") + L'\0' + L"\u00C3",
              tstrings::widenBytes(std::string("a\xFF\x80\0\xC3", 5)));
    EXPECT_EQ(L"", tstrings::widenBytes(""));
}

TEST(tstringsTest, ComparisonsHonourTheCaseMode) {
    using tstrings::CaseSensitive;
    using tstrings::IgnoreCase;
    EXPECT_FALSE(tstrings::equals(L"ABC", L"abc", CaseSensitive));
    EXPECT_TRUE(tstrings::equals(L"ABC", L"abc", IgnoreCase));
    EXPECT_FALSE(tstrings::equals(L"ABC", L"abc", static_cast<tstrings::CompareType>(7)));

    EXPECT_TRUE(tstrings::startsWith(L"Uninstall", L"uni", IgnoreCase));
    EXPECT_FALSE(tstrings::startsWith(L"Uninstall", L"uni", CaseSensitive));
    EXPECT_FALSE(tstrings::startsWith(L"un", L"uni", IgnoreCase));

    EXPECT_FALSE(tstrings::endsWith(L"a", L"ab", CaseSensitive));
    EXPECT_TRUE(tstrings::endsWith(L"x/.", L"/.", CaseSensitive));
    EXPECT_TRUE(tstrings::endsWith(L"MAIN.MSI", L".msi", IgnoreCase));
    EXPECT_TRUE(tstrings::endsWith(L"abc", L"", CaseSensitive));
}

TEST(tstringsTest, TrimCutsOnlyTheEnds) {
    const tstring blanks = L" \t";
    EXPECT_EQ(L"", tstrings::trim(L" \t \t", blanks));
    EXPECT_EQ(L"a b", tstrings::trim(L"a b", blanks));
    EXPECT_EQ(L"a \t b", tstrings::trim(L"\t a \t b \t", blanks));
    EXPECT_EQ(L" a ", tstrings::trim(L" a ", L""));
    EXPECT_EQ(L"", tstrings::trim(L"", blanks));
}

TEST(tstringsTest, ReplaceNeverRescansItsReplacement) {
    EXPECT_EQ(L"aaaaaa", tstrings::replace(L"aaa", L"a", L"aa"));
    EXPECT_EQ(L"aaa", tstrings::replace(L"aaa", L"", L"x"));
    EXPECT_EQ(L"x-x-", tstrings::replace(L"ab-ab-", L"ab", L"x"));
    EXPECT_EQ(L"bbb", tstrings::replace(L"aaaaaa", L"aa", L"b"));
}

TEST(tstringsTest, JoinPutsTheSeparatorBetweenNeighboursOnly) {
    EXPECT_EQ(L"a b c ", tstrings::join(std::vector<tstring>{L"a", L"b c", L""}, L" "));
    EXPECT_EQ(L"", tstrings::join(std::vector<tstring>{}, L", "));
    EXPECT_EQ(L"one", tstrings::join(std::vector<tstring>{L"one"}, L", "));
}

TEST(tstringsTest, TextBuilderWritesEveryKindOfPiece) {
    const wchar_t* none = nullptr;
    const uint32_t pid = 4294967295u;
    const int32_t line = -12;
    const uint64_t size = 18446744073709551615ull;
    tstrings::TextBuilder text("PID=");
    text << pid << L' ' << line << L' ' << size << L' ' << true << false << L' ' << none;
    EXPECT_EQ(L"PID=4294967295 -12 18446744073709551615 10 NULL", text.str());

    tstrings::TextBuilder nested(tstring(L"["));
    nested << text << "]";
    EXPECT_EQ(L"[" + text.str() + L"]", nested.str());
}

TEST(tstringsTest, TextBuilderKeepsNonAsciiNarrowText) {
    // Exception texts are UTF-8: a path in one must survive the trip into a
    // log record or a message box.
    tstrings::TextBuilder text;
    text << tstrings::toUtf8(nonAscii).c_str() << " | " << std::string("\xFF\x41");
    EXPECT_EQ(nonAscii + L" | \u00FF" L"A", text.str());
    EXPECT_EQ(tstrings::toUtf8(text.str()), text.utf8());
}

// The decimal text of the smallest, largest and a few middling values of
// every integer type the builder takes, against the standard library's.
template <class T>
void expectDecimalLikeTheLibrary() {
    using Limits = std::numeric_limits<T>;
    for (const T value : {Limits::min(), Limits::max(), T(0), T(1), T(Limits::max() / 10),
                          T(Limits::min() + 1), T(Limits::max() - 1)}) {
        // The library widens the small types first, as integer promotion does.
        const auto promoted = +value;
        EXPECT_EQ(std::to_wstring(promoted), (tstrings::TextBuilder() << value).str())
            << typeid(T).name() << " " << promoted;
    }
}

TEST(tstringsTest, TextBuilderWritesEveryIntegerTypeInDecimal) {
    expectDecimalLikeTheLibrary<signed char>();
    expectDecimalLikeTheLibrary<unsigned char>();
    expectDecimalLikeTheLibrary<short>();
    expectDecimalLikeTheLibrary<unsigned short>();
    expectDecimalLikeTheLibrary<int>();
    expectDecimalLikeTheLibrary<unsigned>();
    expectDecimalLikeTheLibrary<long>();
    expectDecimalLikeTheLibrary<unsigned long>();
    expectDecimalLikeTheLibrary<long long>();
    expectDecimalLikeTheLibrary<unsigned long long>();
    expectDecimalLikeTheLibrary<char16_t>();
    expectDecimalLikeTheLibrary<char32_t>();

    tstrings::TextBuilder extremes;
    extremes << std::numeric_limits<int64_t>::min() << L' ' << std::numeric_limits<uint64_t>::max()
             << L' ' << std::numeric_limits<int32_t>::min() << L' ' << int16_t(-1);
    EXPECT_EQ(L"-9223372036854775808 18446744073709551615 -2147483648 -1", extremes.str());
}

TEST(tstringsTest, TextBuilderWritesPointersInHexadecimal) {
    const auto text = [](uintptr_t address) {
        return (tstrings::TextBuilder() << reinterpret_cast<const void*>(address)).str();
    };
    EXPECT_EQ(L"0", (tstrings::TextBuilder() << static_cast<const void*>(nullptr)).str());
    EXPECT_EQ(L"0x1", text(1));
    EXPECT_EQ(L"0x7ff6a0b1c2d0", text(0x7FF6A0B1C2D0u));
    EXPECT_EQ(L"0x" + tstring(sizeof(void*) * 2, L'f'), text(~uintptr_t(0)));
}

// UTF-8 and wide text of the same characters, at the edges of each encoded
// length and around the surrogates.
struct Utf8Case {
    const char* bytes;
    tstring wide;
};

class Utf8WellFormedTest : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8WellFormedTest, ConvertsBothWays) {
    const Utf8Case& c = GetParam();
    EXPECT_EQ(c.wide, tstrings::fromUtf8(c.bytes));
    EXPECT_EQ(c.bytes, tstrings::toUtf8(c.wide));
}

INSTANTIATE_TEST_SUITE_P(
    Edges, Utf8WellFormedTest,
    testing::Values(Utf8Case{"\x7F", L"\x7F"}, Utf8Case{"\xC2\x80", L"\u0080"},
                    Utf8Case{"\xDF\xBF", L"\u07FF"}, Utf8Case{"\xE0\xA0\x80", L"\u0800"},
                    Utf8Case{"\xED\x9F\xBF", L"\uD7FF"}, Utf8Case{"\xEE\x80\x80", L"\uE000"},
                    Utf8Case{"\xEF\xBF\xBF", L"\uFFFF"},
                    Utf8Case{"\xF0\x90\x80\x80", L"\U00010000"},
                    Utf8Case{"\xF4\x8F\xBF\xBF", L"\U0010FFFF"},
                    Utf8Case{"a\xF0\x9F\x98\x80z", L"a\U0001F600z"}));

class Utf8IllFormedTest : public testing::TestWithParam<std::string> {};

TEST_P(Utf8IllFormedTest, GivesNothing) { EXPECT_EQ(L"", tstrings::fromUtf8(GetParam())); }

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8IllFormedTest,
    testing::Values(
        // overlong forms
        "\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF",
        // surrogates, and past U+10FFFF
        "\xED\xA0\x80", "\xED\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
        // a stray continuation, a byte that starts nothing, sequences cut short
        // or broken, also after good text
        "\x80", "\xFE", "x\xE2\x82", "\xF0\x9F\x98", "\xE2\x28\xA1", "ok\xC3"));

TEST(tstringsTest, Utf8KeepsNulCharacters) {
    const tstring wide(L"a\0b", 3);
    EXPECT_EQ(std::string("a\0b", 3), tstrings::toUtf8(wide));
    EXPECT_EQ(wide, tstrings::fromUtf8(std::string("a\0b", 3)));
}

TEST(tstringsTest, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    const wchar_t high = static_cast<wchar_t>(0xD800);
    const wchar_t low = static_cast<wchar_t>(0xDC00);
    EXPECT_EQ("a" + replacement + "b", tstrings::toUtf8(tstring{L'a', high, L'b'}));
    EXPECT_EQ(replacement + replacement, tstrings::toUtf8(tstring{low, high}));
    EXPECT_EQ("x" + replacement, tstrings::toUtf8(tstring{L'x', high}));
    if constexpr (sizeof(wchar_t) == 4) {
        // One unit a character: a surrogate pair is two wrong characters, and
        // a unit past U+10FFFF none at all.
        EXPECT_EQ(replacement + replacement, tstrings::toUtf8(tstring{high, low}));
        EXPECT_EQ(replacement, tstrings::toUtf8(tstring{static_cast<wchar_t>(0x110000)}));
    }
}

TEST(tstringsTest, FormatTakesWideStringsAsLs) {
    EXPECT_EQ(L"[gr\u00FC\u00DFe] 7", tstrings::format(L"[%ls] %d", L"gr\u00FC\u00DFe", 7));
}

} // namespace
