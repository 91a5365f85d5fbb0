#include "FunctionTracer.h"
#include "Log.h"
#include "LogAppenders.h"
#include "RecordingLogAppender.h"
#include "TestSupport.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

// Keeps what a StreamLogAppender writes.
class RecordingTextOutput : public TextOutput {
public:
    void write(const std::string& utf8) override { text += utf8; }
    std::string text;
};

LogRecord sampleRecord() {
    static const wchar_t module[] = L"setup.exe";
    return LogRecord{{2024, 1, 2, 2, 3, 4, 5, 6}, 1300, 1200, module, L"TRACE", L"F.cpp", 123,
                     L"app::launch", L"Entering app::launch"};
}

TEST(LogTest, PrefixHasTimeModuleAndIds) {
    tstring prefix = L"[";
    sampleRecord().formatPrefix(prefix);
    EXPECT_EQ(L"[2024/01/02 03:04:05.006, setup.exe (PID: 1200, TID: 1300), ", prefix);
}

TEST(LogTest, StreamAppenderWritesTwoLinesPerRecord) {
    RecordingTextOutput out;
    StreamLogAppender(&out).append(sampleRecord());
    EXPECT_EQ("[2024/01/02 03:04:05.006, setup.exe (PID: 1200, TID: 1300), F.cpp:123 "
              "(app::launch)]\n\tTRACE: Entering app::launch\n",
              out.text);
}

TEST(LogTest, LoggedRecordCarriesTheProcessAndLastPathComponent) {
    RecordingTextOutput out;
    StreamLogAppender stream(&out);
    Logger& logger = processLogger();
    LogAppender* previous = logger.setAppender(&stream);
    const int line = __LINE__ + 1;
    VK_INFO("caf" << L"\u00E9 " << 7u);
    logger.log(static_cast<LogLevel>(7), L"C:/src\\dir/G.cpp", -1, L"f", L"odd level");
    logger.setAppender(previous);

    const std::string pattern =
        R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}, velkin-common-tests\.exe )"
        R"(\(PID: )" + std::to_string(::GetCurrentProcessId()) + R"(, TID: )" +
        std::to_string(::GetCurrentThreadId()) + R"(\), )";
    const std::regex expected(
        pattern + R"(LogTest\.cpp:)" + std::to_string(line) +
        R"( \(\{anonymous\}::LogTest_LoggedRecordCarriesTheProcessAndLastPathComponent_Test::TestBody\)\]\n)"
        R"(\tINFO: caf\xC3\xA9 7\n)" +
        pattern + R"(G\.cpp:-1 \(f\)\]\n\tUNKNOWN: odd level\n)");
    EXPECT_TRUE(std::regex_match(out.text, expected)) << out.text;
}

TEST(LogTest, LoggerDoesNotFilterAndEveryLevelIsEnabled) {
    RecordingLogAppender log;
    for (const LogLevel level :
         {LogLevel::Trace, LogLevel::Info, LogLevel::Warning, LogLevel::Error}) {
        EXPECT_TRUE(processLogger().isEnabled(level));
        processLogger().log(level, L"a.cpp", 1, L"f", L"x");
    }
    ASSERT_EQ(4u, log.records.size());
    EXPECT_EQ(L"TRACE", log.records[0].levelName);
    EXPECT_EQ(L"INFO", log.records[1].levelName);
    EXPECT_EQ(L"WARNING", log.records[2].levelName);
    EXPECT_EQ(L"ERROR", log.records[3].levelName);
}

TEST(LogTest, TeeForwardsToBothAndSkipsNull) {
    RecordingLogAppender first;
    RecordingLogAppender second;
    const LogRecord record = sampleRecord();
    TeeLogAppender(&first, &second).append(record);
    TeeLogAppender(nullptr, &second).append(record);
    TeeLogAppender(&first, nullptr).append(record);
    EXPECT_EQ(2u, first.records.size());
    EXPECT_EQ(2u, second.records.size());
}

TEST(LogTest, ExtraAppenderAddsASinkAndRestoresThePrevious) {
    RecordingLogAppender base;
    RecordingLogAppender extra;
    // `extra` made itself the sink; put `base` back to have a known previous.
    processLogger().setAppender(&base);
    {
        WithExtraLogAppender withExtra(extra);
        EXPECT_NE(&base, processLogger().getAppender());
        VK_WARNING("both");
    }
    EXPECT_EQ(&base, processLogger().getAppender());
    VK_WARNING("base only");
    EXPECT_EQ((std::vector<tstring>{L"both", L"base only"}), base.messages(LogLevel::Warning));
    EXPECT_EQ((std::vector<tstring>{L"both"}), extra.messages(LogLevel::Warning));
}

TEST(LogTest, TracerLogsEntryAndExitWithLineZero) {
    RecordingLogAppender log;
    {
        FunctionTracer tracer(processLogger(), LogLevel::Trace, L"C:\\src\\F.cpp", 123,
                              L"app::launch", L"app::launch");
        VK_TRACE("inside");
    }
    ASSERT_EQ(3u, log.records.size());
    EXPECT_EQ(L"Entering app::launch", log.records[0].message);
    EXPECT_EQ(123, log.records[0].line);
    EXPECT_EQ(L"F.cpp", log.records[0].fileName);
    EXPECT_EQ(L"inside", log.records[1].message);
    EXPECT_EQ(L"Exiting app::launch (entered at F.cpp:123)", log.records[2].message);
    EXPECT_EQ(0, log.records[2].line);
    EXPECT_EQ(L"app::launch", log.records[2].functionName);
}

TEST(LogTest, TracerMacroNamesTheEnclosingFunction) {
    RecordingLogAppender log;
    [] { VK_TRACE_FUNCTION(); }();
    ASSERT_EQ(2u, log.records.size());
    EXPECT_TRUE(startsWith(log.records[0].message, L"Entering "));
    EXPECT_TRUE(contains(log.records[0].message, L"TestBody"));
    EXPECT_TRUE(startsWith(log.records[1].message, L"Exiting "));
}

} // namespace
