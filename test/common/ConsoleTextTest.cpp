#include "ConsoleText.h"
#include "LogAppenders.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

// Run only as the child of the test below, with its standard output and
// standard error on one file.
TEST(ConsoleTextChild, WritesEveryKindOfText) {
    writeOut("<raw out>a\nb</raw out>");
    writeError("<raw error>gr\xC3\xBC\xC3\x9F" "e\n</raw error>");
    standardTextOutput().write("<text>one\ntwo\n</text>");
    // The logger's first sink, before a launch frame chooses another.
    const LogRecord record{{2024, 1, 2, 2, 3, 4, 5, 6}, 1300, 1200, L"setup.exe", L"TRACE", L"F.cpp",
                           123, L"app::launch", L"line one\nline two"};
    StreamLogAppender(&standardTextOutput()).append(record);
}

TEST(ConsoleTextTest, TextLinesEndAsWindowsTextStreamsEndThemAndRawTextStaysAsGiven) {
    const ChildResult child = runChild(siblingProgram(L"velkin-common-tests.exe"),
                                       L"--gtest_filter=ConsoleTextChild.*");
    ASSERT_EQ(0u, child.exitCode) << child.output;
    EXPECT_TRUE(contains(child.output, "<raw out>a\nb</raw out>"));
    EXPECT_TRUE(contains(child.output, "<raw error>gr\xC3\xBC\xC3\x9F" "e\n</raw error>"));
    EXPECT_TRUE(contains(child.output, "<text>one\r\ntwo\r\n</text>"));
    EXPECT_TRUE(contains(child.output, "[2024/01/02 03:04:05.006, setup.exe (PID: 1200, TID: "
                                       "1300), F.cpp:123 (app::launch)]\r\n\tTRACE: line "
                                       "one\r\nline two\r\n"));
}

} // namespace
