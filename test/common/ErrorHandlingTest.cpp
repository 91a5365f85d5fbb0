#include "ErrorHandling.h"
#include "RecordingLogAppender.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace probe {

int failingLine = 0;

void fail(const char* message) {
    failingLine = __LINE__ + 1;
    VK_THROW_MSG(message);
}

struct Owner {
    void check(int value) const {
        if (value < 0) {
            failingLine = __LINE__ + 1;
            VK_THROW(std::runtime_error("negative"));
        }
    }
};

template <class T>
std::string nameOf(const T&) {
    return CodeLocation(__FILE__, VK_FUNCTION_NAME, __LINE__).function;
}

} // namespace probe

namespace {

struct CombineCase {
    std::string first;
    std::string second;
    std::string joined;
};

class CombineMessagesTest : public testing::TestWithParam<CombineCase> {};

TEST_P(CombineMessagesTest, JoinsTwoPartsIntoOneSentence) {
    const CombineCase& c = GetParam();
    EXPECT_EQ(c.joined, combineMessages(c.first, c.second));
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, CombineMessagesTest,
    testing::Values(CombineCase{"Access denied", "retry later", "Access denied. retry later"},
                    CombineCase{"Failed:", "x", "Failed: x"},
                    CombineCase{"", "x", "x"},
                    CombineCase{"a.", "", "a."},
                    CombineCase{"a", "  ", "a"},
                    CombineCase{"a  ", " b ", "a. b"},
                    CombineCase{"  ", " \t b\r\n", "b"},
                    CombineCase{"done!", "\n", "done!"},
                    CombineCase{"x\n", "y", "x. y"},
                    // Bytes of multi-byte characters are never white space.
                    CombineCase{"caf\xC3\xA9", "ok", "caf\xC3\xA9. ok"}));

TEST(ErrorHandlingTest, LocatedMessageNamesFileLineAndFunction) {
    const auto error = thrown<VkError<std::runtime_error>>([] { probe::fail("Something broke"); });
    ASSERT_TRUE(error);
    EXPECT_EQ("ErrorHandlingTest.cpp(" + std::to_string(probe::failingLine) +
                  ") at probe::fail(): Something broke",
              std::string(error->what()));
    EXPECT_STREQ("Something broke", error->originalMessage());
}

TEST(ErrorHandlingTest, OneObjectCaughtThreeWays) {
    const auto check = [] { probe::Owner().check(-1); };
    EXPECT_EQ("negative", failureOf<VkErrorBase>(check));
    EXPECT_EQ("ErrorHandlingTest.cpp(" + std::to_string(probe::failingLine) +
                  ") at probe::Owner::check(): negative",
              failureOf<std::exception>(check));
    EXPECT_NO_THROW(probe::Owner().check(1));
}

TEST(ErrorHandlingTest, FunctionNamesLoseReturnTypeAndParameters) {
    EXPECT_EQ("probe::nameOf", probe::nameOf(std::string()));
    EXPECT_EQ("Executor::execAndWaitForExit",
              CodeLocation("f", "Executor::execAndWaitForExit", 1).function);
    EXPECT_EQ("{anonymous}::BatchDeleter::execute",
              CodeLocation("f", "bool {anonymous}::BatchDeleter::execute(const std::nothrow_t&) const", 1)
                  .function);
    EXPECT_EQ("app::f", CodeLocation("f", "std::map<int, int> app::f(int (*)(int))", 1).function);
    EXPECT_EQ("Dll::~Dll", CodeLocation("f", "Dll::~Dll()", 1).function);
    EXPECT_EQ("Dll::getFunction",
              CodeLocation("f", "void (* Dll::getFunction(const string&, bool) const)()", 1).function);
}

TEST(ErrorHandlingTest, SourceBaseNameTakesEitherSeparator) {
    EXPECT_EQ("app.cpp", sourceBaseName("C:\\src\\share\\native\\common\\app.cpp"));
    EXPECT_EQ("app.cpp", sourceBaseName("/src/share/native/common/app.cpp"));
    EXPECT_EQ("app.cpp", sourceBaseName("C:\\src/mixed\\dir/app.cpp"));
    EXPECT_EQ("app.cpp", sourceBaseName("app.cpp"));
    const CodeLocation location("a/b\\F.cpp", "app::launch", 67);
    EXPECT_STREQ("F.cpp(67) at app::launch(): M", withLocation("M", location).what());
}

TEST(ErrorHandlingTest, CaughtExceptionsBecomeErrorRecordsOfTheCatchSite) {
    RecordingLogAppender log;
    const int catchLine = __LINE__ + 4;
    try {
        probe::fail("deep");
    } catch (const std::runtime_error& e) {
        logCaughtException(VK_HERE, e);
    }
    logUnknownException(CodeLocation("x/y/Other.cpp", "other::place", 9));

    ASSERT_EQ(2u, log.records.size());
    const LogRecord& caught = log.records[0];
    EXPECT_EQ(L"ERROR", caught.levelName);
    EXPECT_EQ(L"ErrorHandlingTest.cpp", caught.fileName);
    EXPECT_EQ(catchLine, caught.line);
    EXPECT_EQ(L"Exception with message 'ErrorHandlingTest.cpp(" +
                  std::to_wstring(probe::failingLine) + L") at probe::fail(): deep' caught",
              caught.message);

    const LogRecord& unknown = log.records[1];
    EXPECT_EQ(L"Other.cpp", unknown.fileName);
    EXPECT_EQ(9, unknown.line);
    EXPECT_EQ(L"other::place", unknown.functionName);
    EXPECT_EQ(L"Unknown exception caught", unknown.message);
}

TEST(ErrorHandlingTest, SwallowingGuardLogsAndGoesOn) {
    RecordingLogAppender log;
    try {
        throw 42;
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
    try {
        probe::fail("guarded");
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
    const auto errors = log.messages(LogLevel::Error);
    ASSERT_EQ(2u, errors.size());
    EXPECT_EQ(L"Unknown exception caught", errors[0]);
    EXPECT_TRUE(contains(errors[1], L"probe::fail(): guarded' caught"));
}

TEST(ErrorHandlingTest, CrtErrorDescriptionDescribesErrno) {
    errno = ENOENT;
    EXPECT_EQ("No such file or directory", crtErrorDescription());
}

} // namespace
