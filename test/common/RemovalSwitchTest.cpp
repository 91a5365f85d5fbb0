#include "CommandLine.h"
#include "RemovalSwitch.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// What the C runtime's split of the setup's line would have decided.
bool runtimeSplitSelectsRemoval(const tstring& arguments) {
    const tstring_array split = CommandLine::splitArguments(L"setup.exe " + arguments);
    return std::find(split.begin(), split.end(), L"uninstall") != split.end();
}

struct RemovalCase {
    const wchar_t* arguments;
    bool removes;
};

class DisagreeingLinesTest : public testing::TestWithParam<RemovalCase> {};

// Lines that the C runtime and msiexec split differently: msiexec's reading
// holds, since it decides what msiexec does with the rest of the line.
TEST_P(DisagreeingLinesTest, MsiexecsReadingDecides) {
    ASSERT_NE(GetParam().removes, runtimeSplitSelectsRemoval(GetParam().arguments))
        << "not a line the two readings disagree on";
    EXPECT_EQ(GetParam().removes, selectsRemoval(GetParam().arguments));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DisagreeingLinesTest,
    testing::Values(
        // A repair whose note holds the word: msiexec gets one value.
        RemovalCase{L"/qn REINSTALL=ALL REINSTALLMODE=vomus NOTE=\"the \"\"old\"\" uninstall step\"", false},
        RemovalCase{L"X=\"a \"\" uninstall \"\" b\"", false},
        // A backslash before a quote escapes nothing for msiexec.
        RemovalCase{L"A=\\\"x uninstall \"", false},
        // A value ending in a backslash: msiexec's token ends at its quote.
        RemovalCase{L"/qn INSTALLDIR=\"C:\\QA\\\" uninstall", true},
        RemovalCase{L"\"C:\\dir\\\" uninstall", true},
        // A doubled quote inside quotes: the quoted part goes on for msiexec.
        RemovalCase{L"P=\"\"\"\" uninstall", true},
        RemovalCase{L"NOTE=\"a\"\"b\" uninstall", true}));

class AgreeingLinesTest : public testing::TestWithParam<RemovalCase> {};

TEST_P(AgreeingLinesTest, DecideAsBoth) {
    ASSERT_EQ(GetParam().removes, runtimeSplitSelectsRemoval(GetParam().arguments));
    EXPECT_EQ(GetParam().removes, selectsRemoval(GetParam().arguments));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, AgreeingLinesTest,
    testing::Values(RemovalCase{L"uninstall", true}, RemovalCase{L"install uninstall", true},
                    RemovalCase{L"/qn \"uninstall\"", true},
                    RemovalCase{L"/qn INSTALLDIR=\"C:\\Program Files\\QA\" uninstall", true},
                    RemovalCase{L"/qn Uninstall", false}, RemovalCase{L"/qn /uninstall", false},
                    RemovalCase{L"/qn uninstall.", false}, RemovalCase{L"NOTE=\"an uninstall\"", false},
                    RemovalCase{L"", false}));

} // namespace
