#include "ErrorHandling.h"
#include "TestSupport.h"
#include "tstrings.h"

#include <gtest/gtest.h>

#include <stdexcept>
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

} // namespace
