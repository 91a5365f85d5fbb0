#include "Unattended.h"

#include <gtest/gtest.h>

namespace {

struct RunCase {
    const wchar_t* arguments;
    bool unattended;
};

class UnattendedTest : public testing::TestWithParam<RunCase> {};

TEST_P(UnattendedTest, QuietAndPassiveRunsHaveNobodyWatching) {
    EXPECT_EQ(GetParam().unattended, isUnattended(GetParam().arguments, true));
    EXPECT_TRUE(isUnattended(GetParam().arguments, false)) << "an invisible window station";
}

INSTANTIATE_TEST_SUITE_P(
    Switches, UnattendedTest,
    testing::Values(RunCase{L"/q", true}, RunCase{L"/qn", true}, RunCase{L"-QN", true},
                    RunCase{L"/qb", true}, RunCase{L"/qb-", true}, RunCase{L"/qb+", true},
                    RunCase{L"/qb!", true}, RunCase{L"/qb!-", true}, RunCase{L"/qn+", true},
                    RunCase{L"/quiet", true}, RunCase{L"-Passive", true},
                    RunCase{L"PROP=1 /l*v x.log /qn", true}, RunCase{L"\"/qn\"", true},
                    RunCase{L"/qf", false}, RunCase{L"/qr", false}, RunCase{L"/qb+f", false},
                    RunCase{L"/quietly", false}, RunCase{L"/norestart", false},
                    RunCase{L"PROP=/qn", false}, RunCase{L"PROP=\"a /qn\"", false},
                    RunCase{L"uninstall", false}, RunCase{L"", false}));

} // namespace
