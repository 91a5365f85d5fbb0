#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {

using namespace CommandLine;

struct ProgramCase {
    const wchar_t* line;
    const wchar_t* program;
    const wchar_t* arguments;
};

class ProgramNameTest : public testing::TestWithParam<ProgramCase> {};

TEST_P(ProgramNameTest, EndsAtTheClosingQuoteOrTheFirstBlank) {
    EXPECT_EQ(GetParam().program, programName(GetParam().line));
    EXPECT_EQ(GetParam().arguments, argumentsText(GetParam().line));
}

// The system's own reading of the name is the truth in WinSysInfoTest; here
// the text after it must come back unchanged.
INSTANTIATE_TEST_SUITE_P(
    Lines, ProgramNameTest,
    testing::Values(ProgramCase{L"\"C:\\My Files\\setup.exe\"  /qn  A=\"b\\\" ", L"C:\\My Files\\setup.exe",
                                L"/qn  A=\"b\\\" "},
                    ProgramCase{L"\"C:\\a\\\"x y", L"C:\\a\\", L"x y"},
                    ProgramCase{L"setup.exe\t\tA=1\t", L"setup.exe", L"A=1\t"},
                    ProgramCase{L"\"unclosed name", L"unclosed name", L""},
                    ProgramCase{L"", L"", L""}));

TEST(CommandLineTest, MsiexecTokensKeepBackslashesAndUndoubleQuotes) {
    EXPECT_EQ((tstring_array{L"/qn", L"A=C:\\Program Files\\App\\", L"B=after"}),
              msiexecTokens(L"/qn A=\"C:\\Program Files\\App\\\" B=after"));
    EXPECT_EQ((tstring_array{L"A=a \"q\" w", L"B=", L"C"}),
              msiexecTokens(L" A=\"a \"\"q\"\" w\"\tB=\"\"   C  "));
    EXPECT_EQ(tstring_array{}, msiexecTokens(L" \t "));
}

// msiexec reads property names as upper case: any spelling sets TRANSFORMS,
// a value that only mentions it does not.
TEST(CommandLineTest, SetsPropertyAsMsiexecReadsTheLine) {
    for (const wchar_t* line : {L"TRANSFORMS=:1036", L"/qn transforms=:1036", L"Transforms=\"a b.mst\" /qn",
                                L"TRANSFORMS=\"\"", L"\"TRANSFORMS=:1036\"", L"A=\"x y\" TRANSFORMS=:1036;site.mst"}) {
        EXPECT_TRUE(setsProperty(line, L"TRANSFORMS")) << tstrings::toUtf8(line);
    }
    for (const wchar_t* line : {L"", L"/qn", L"TRANSFORMS", L"TRANSFORMS :1036", L"MYTRANSFORMS=:1036",
                                L"TRANSFORMSX=:1036", L"NOTE=\"a TRANSFORMS=:1036 b\"", L"/t :1036",
                                L"NOTE=\"\"\" TRANSFORMS=:1036\""}) {
        EXPECT_FALSE(setsProperty(line, L"TRANSFORMS")) << tstrings::toUtf8(line);
    }
}

TEST(CommandLineTest, EndsInsideQuotesOnlyWithAQuotedPartLeftOpen) {
    for (const wchar_t* line : {L"NOTE=\"abc", L"/qn NOTE=\"a b ", L"A=\"x\" \"", L"NOTE=\"a \"\"b\"\"",
                                L"\"C:\\dir\\\" x\""}) {
        EXPECT_TRUE(endsInsideQuotes(line)) << tstrings::toUtf8(line);
    }
    for (const wchar_t* line : {L"", L"/qn", L"NOTE=\"a b\"", L"NOTE=\"a \"\"b\"\"\"", L"A=\"\"",
                                L"INSTALLDIR=\"C:\\QA\\\" /qn", L"NOTE=\"abc\"  \t"}) {
        EXPECT_FALSE(endsInsideQuotes(line)) << tstrings::toUtf8(line);
    }
}

} // namespace
