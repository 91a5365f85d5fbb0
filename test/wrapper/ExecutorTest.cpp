#include "Executor.h"
#include "TestSupport.h"
#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace {

struct QuotingCase {
    const wchar_t* argument;
    const wchar_t* commandLine;
};

class ExecutorQuotingTest : public testing::TestWithParam<QuotingCase> {};

TEST_P(ExecutorQuotingTest, QuotesOnlyWhatHasABlankOrTab) {
    EXPECT_EQ(tstring(L"app.exe ") + GetParam().commandLine,
              Executor(L"app.exe").addArg(GetParam().argument).commandLine());
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ExecutorQuotingTest,
    testing::Values(QuotingCase{L"/qn", L"/qn"},
                    QuotingCase{L"C:\\dir with blank\\install.log", L"\"C:\\dir with blank\\install.log\""},
                    QuotingCase{L"tab\there", L"\"tab\there\""},
                    QuotingCase{L"\"already quoted\"", L"\"already quoted\""},
                    QuotingCase{L"say \"hi\" now", L"\"say \"hi\" now\""},
                    QuotingCase{L"C:\\dir with blank\\", L"\"C:\\dir with blank\\\""},
                    QuotingCase{L"\"", L"\""},
                    QuotingCase{L"PROP=a\"b", L"PROP=a\"b"},
                    QuotingCase{L"", L""}));

TEST(ExecutorTest, CommandLineJoinsAppPathAndArgumentsWithSingleBlanks) {
    Executor executor(L"C:\\Program Files\\app.exe");
    const tstring_array more{L"x y", L"z"};
    executor.addArg(L"/i").addArg(L"");
    std::copy(more.begin(), more.end(), std::back_inserter(executor));
    EXPECT_EQ(L"\"C:\\Program Files\\app.exe\" /i  \"x y\" z", executor.commandLine());
}

// The child side of the tests below: a copy of this test executable that
// exits with the code it is told, after checking how it was started.
TEST(ExecutorChild, ExitsWithRequestedCode) {
    const char* code = std::getenv("VELKIN_TEST_EXIT_CODE");
    ASSERT_NE(nullptr, code);
    STARTUPINFOW startup{};
    ::GetStartupInfoW(&startup);
    const bool hidden =
        (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 && startup.wShowWindow == SW_HIDE;
    const char* expectHidden = std::getenv("VELKIN_TEST_EXPECT_HIDDEN");
    if (expectHidden && (std::string(expectHidden) == "1") != hidden) {
        ::ExitProcess(99);
    }
    ::ExitProcess(static_cast<UINT>(std::strtoul(code, nullptr, 0)));
}

class ExecutorChildTest : public testing::Test {
protected:
    static uint32_t runSelf(const wchar_t* code, bool visible, const wchar_t* expectHidden = L"") {
        const ScopedEnvironment childEnvironment(
            {{L"VELKIN_TEST_EXIT_CODE", code}, {L"VELKIN_TEST_EXPECT_HIDDEN", expectHidden}});
        return Executor(siblingProgram(L"velkin-wrapper-tests.exe"))
            .addArg(L"--gtest_filter=ExecutorChild.ExitsWithRequestedCode")
            .visible(visible)
            .execAndWaitForExit();
    }
};

TEST_F(ExecutorChildTest, ExitCodesComeBackUnchanged) {
    EXPECT_EQ(3010u, runSelf(L"3010", false));
    EXPECT_EQ(0u, runSelf(L"0", false));
    EXPECT_EQ(0xC0000005u, runSelf(L"0xC0000005", false));
}

TEST_F(ExecutorChildTest, ChildIsHiddenUnlessVisible) {
    EXPECT_EQ(5u, runSelf(L"5", false, L"1"));
    EXPECT_EQ(5u, runSelf(L"5", true, L"0"));
}

TEST(ExecutorTest, MissingProgramFailsWithTheCommandLine) {
    const auto run = [] { Executor(L"C:\\velkin-missing\\app.exe").addArg(L"a b").execAndWaitForExit(); };
    EXPECT_TRUE(startsWith(failureOf<VkError<SysError>>(run),
                           "CreateProcess(C:\\velkin-missing\\app.exe, C:\\velkin-missing\\app.exe "
                           "\"a b\") failed. System error ["));
}

} // namespace
