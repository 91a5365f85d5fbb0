#include "ErrorHandling.h"
#include "Log.h"
#include "LogAppenders.h"
#include "TestSupport.h"
#include "app.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Stands in for the message box: keeps what it would have shown.
class ShownMessages : public LogAppender {
public:
    void append(const LogRecord& record) override {
        shown.push_back(app::lastErrorMessage ? *app::lastErrorMessage : std::string("<null>"));
        levels.push_back(record.levelName);
    }
    std::vector<std::string> shown;
    std::vector<tstring> levels;
};

// launch() chooses the logger's sink for the run; put the test's back.
class AppTest : public testing::Test {
protected:
    void TearDown() override { processLogger().setAppender(saved_); }

private:
    LogAppender* saved_ = processLogger().getAppender();
};

TEST_F(AppTest, NormalEndShowsNothing) {
    ShownMessages messages;
    EXPECT_EQ(0, app::launch(std::nothrow, [] {}, &messages, false));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(nullptr, app::lastErrorMessage);
}

TEST_F(AppTest, LocatedFailureShowsItsPlainMessageOnce) {
    ShownMessages messages;
    EXPECT_EQ(1, app::launch(std::nothrow, [] { VK_THROW_MSG("disk on fire"); }, &messages, false));
    EXPECT_EQ(std::vector<std::string>{"disk on fire"}, messages.shown);
    EXPECT_EQ(std::vector<tstring>{L"ERROR"}, messages.levels);
    EXPECT_EQ(nullptr, app::lastErrorMessage);
}

TEST_F(AppTest, OtherFailuresShowWhatIsKnown) {
    ShownMessages messages;
    EXPECT_EQ(1, app::launch(std::nothrow, [] { throw std::runtime_error("plain"); }, &messages, false));
    EXPECT_EQ(1, app::launch(std::nothrow, [] { throw 7; }, &messages, false));
    ASSERT_EQ(2u, messages.shown.size());
    EXPECT_TRUE(startsWith(messages.shown[0], "plain"));
    EXPECT_EQ("Unknown error", messages.shown[1]);
}

TEST_F(AppTest, TheRunsSinkIsNopUnlessDebugging) {
    EXPECT_EQ(0, app::launch(std::nothrow, [] {
        EXPECT_NE(nullptr, dynamic_cast<NopLogAppender*>(processLogger().getAppender()));
    }, nullptr, false));
    EXPECT_EQ(0, app::launch(std::nothrow, [] {
        EXPECT_EQ(nullptr, dynamic_cast<NopLogAppender*>(processLogger().getAppender()));
    }, nullptr, true));
}

} // namespace
