#include "DamagedFile.h"
#include "IsolatedCall.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace {

// The reason, marked "damaged: " when it came as a DamagedFileError.
std::string failureOf(const std::function<std::string()>& work, int seconds = 10, uint64_t allowance = 0) {
    try {
        IsolatedCall(work, allowance).answer(seconds);
    } catch (const VkError<DamagedFileError>& e) {
        return std::string("damaged: ") + e.originalMessage();
    } catch (const VkErrorBase& e) {
        return e.originalMessage();
    }
    ADD_FAILURE() << "no exception";
    return {};
}

TEST(IsolatedCallTest, GivesTheAnswerWholeAndLeavesThisProcessAlone) {
    int touched = 0;
    const std::string answer = IsolatedCall([&touched] {
                                   touched = 1;
                                   return std::string(300000, 'x') + '\0' + "end";
                               }).answer(10);
    EXPECT_EQ(std::string(300000, 'x') + '\0' + "end", answer);
    EXPECT_EQ(0, touched);
}

TEST(IsolatedCallTest, HowTheWorkEndedIsTheReason) {
    EXPECT_EQ("it cannot be opened", failureOf([]() -> std::string { VK_THROW_MSG("it cannot be opened"); }));
    EXPECT_EQ("plain", failureOf([]() -> std::string { throw std::runtime_error("plain"); }));
    // Only the work's own word on a damaged file is taken for damage.
    EXPECT_EQ("damaged: its tables are damaged",
              failureOf([]() -> std::string { VK_THROW_DAMAGED("its tables are damaged"); }));
    EXPECT_EQ("the reader crashed (Segmentation fault)", failureOf([]() -> std::string {
                  ::raise(SIGSEGV);
                  return {};
              }));
    EXPECT_EQ("the reader ended without an answer", failureOf([]() -> std::string { ::_exit(3); }));
    EXPECT_EQ("the reader took longer than 1 seconds", failureOf(
                                                          []() -> std::string {
                                                              for (;;) {
                                                                  ::pause();
                                                              }
                                                          },
                                                          1));
}

// The answer counts once it is whole: neither the child's end nor a process
// that it left holding the pipe is waited for.
TEST(IsolatedCallTest, TheAnswerIsTakenWithoutWaitingForTheEnd) {
    const auto start = std::chrono::steady_clock::now();
    IsolatedCall call([] {
        if (::fork() == 0) {
            ::sleep(3);
            ::_exit(0);
        }
        return std::string("facts");
    });
    EXPECT_EQ("facts", call.answer(10));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// Work that wants more memory than the child may have fails in the child,
// whatever the machine has; within the bound it runs as before.
TEST(IsolatedCallTest, TheChildsMemoryIsBounded) {
    constexpr uint64_t allowance = uint64_t{256} << 20;
    const auto allocate = [](size_t bytes) {
        return [bytes] { return std::to_string(std::vector<char>(bytes, 'x').size()); };
    };
    EXPECT_EQ(std::to_string(64 << 20), IsolatedCall(allocate(64 << 20), allowance).answer(10));
    const std::string failure = failureOf(allocate(size_t{1} << 30), 10, allowance);
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's allocator ends the child its own way where the
    // library's throws; failureOf has seen it fail.
    EXPECT_FALSE(failure.empty());
#else
    EXPECT_EQ("it needs more than the 256 MiB of memory that the reader may take", failure);
#endif
}

// A reading given up (its package refused for another reason) leaves no
// process behind and waits for none.
TEST(IsolatedCallTest, AnAnswerNobodyWaitsForEndsTheChild) {
    const auto start = std::chrono::steady_clock::now();
    {
        const IsolatedCall endless([]() -> std::string {
            for (;;) {
                ::pause();
            }
        });
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(-1, ::waitpid(-1, nullptr, WNOHANG));
    EXPECT_EQ(ECHILD, errno);
}

} // namespace
