#include "Executor.h"
#include "RecordingLogAppender.h"
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
    static uint32_t runSelf(const char* code, bool visible, const char* expectHidden) {
        ::SetEnvironmentVariableA("VELKIN_TEST_EXIT_CODE", code);
        ::SetEnvironmentVariableA("VELKIN_TEST_EXPECT_HIDDEN", expectHidden);
        const uint32_t result = Executor(siblingProgram(L"velkin-wrapper-tests.exe"))
                                    .addArg(L"--gtest_filter=ExecutorChild.ExitsWithRequestedCode")
                                    .visible(visible)
                                    .execAndWaitForExit();
        ::SetEnvironmentVariableA("VELKIN_TEST_EXIT_CODE", nullptr);
        ::SetEnvironmentVariableA("VELKIN_TEST_EXPECT_HIDDEN", nullptr);
        return result;
    }
};

TEST_F(ExecutorChildTest, ExitCodesComeBackUnchanged) {
    EXPECT_EQ(3010u, runSelf("3010", false, nullptr));
    EXPECT_EQ(0u, runSelf("0", false, nullptr));
    RecordingLogAppender log;
    EXPECT_EQ(0xC0000005u, runSelf("0xC0000005", false, nullptr));
    const auto traces = log.messages(LogLevel::Trace);
    ASSERT_EQ(2u, traces.size());
    EXPECT_EQ(0u, traces[0].find(L"CreateProcess(" + siblingProgram(L"velkin-wrapper-tests.exe") +
                                 L", "));
    EXPECT_NE(tstring::npos, traces[0].find(L"ExitsWithRequestedCode) succeeded; PID="));
    EXPECT_NE(tstring::npos, traces[1].find(L" terminated. Exit code=3221225477"));
    EXPECT_EQ(0u, traces[1].find(L"Process with PID="));
}

TEST_F(ExecutorChildTest, ChildIsHiddenUnlessVisible) {
    EXPECT_EQ(5u, runSelf("5", false, "1"));
    EXPECT_EQ(5u, runSelf("5", true, "0"));
}

TEST(ExecutorTest, MissingProgramFailsWithTheCommandLine) {
    try {
        Executor(L"C:\\velkin-missing\\app.exe").addArg(L"a b").execAndWaitForExit();
        FAIL() << "no exception";
    } catch (const VkError<SysError>& e) {
        EXPECT_EQ(0u, std::string(e.originalMessage())
                          .find("CreateProcess(C:\\velkin-missing\\app.exe, C:\\velkin-missing\\app.exe "
                                "\"a b\") failed. System error ["));
    }
}

} // namespace
