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

} // namespace
