// The recording stand-in for msiexec.exe keeps the prefix's own msiexec.exe
// whatever a test leaves running: every later test, and every later run in
// the prefix, depends on it.
#include "MsiexecStandIn.h"
#include "UniqueHandles.h"
#include "WindowsApi.h"

#include <stdexcept>

namespace {

class MsiexecStandInTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(original.empty());
        ASSERT_TRUE(readFile(siblingProgram(L"velkin-test-msiexec.exe")) != original)
            << "the prefix's msiexec.exe is the stand-in before the test";
    }

    // Starts the prefix's msiexec.exe (the stand-in, where the test run
    // prefers native programs) and leaves it suspended, as a setup ended
    // between its child's creation and start would.
    UniqueHandle startSuspended() const {
        std::vector<wchar_t> commandLine(msiexec.begin(), msiexec.end());
        commandLine.push_back(L'\0');
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(msiexec.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                              nullptr, nullptr, &startup, &started)) {
            ADD_FAILURE() << "cannot start msiexec.exe: error " << ::GetLastError();
            return UniqueHandle();
        }
        ::CloseHandle(started.hThread);
        return UniqueHandle(started.hProcess);
    }

    const tstring msiexec = systemProgram(L"msiexec.exe");
    const tstring saved = MsiexecStandIn::savedOriginal();
    const std::string original = readFile(msiexec);
};

// The stand-in cannot be replaced while a process runs it: its end ends
// that process, and the original goes back.
TEST_F(MsiexecStandInTest, AStandInLeftSuspendedIsEndedAndTheOriginalGoesBack) {
    UniqueHandle left;
    {
        const MsiexecStandIn standIn;
        left = startSuspended();
        ASSERT_TRUE(left);
    }
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(left.get(), 0))
        << "the stand-in left suspended still runs";
    EXPECT_EQ(original, readFile(msiexec));
    EXPECT_FALSE(exists(saved));
}

// The next test's stand-in while one is held (as after a run that died with
// a stand-in running): refused, naming the saved original, which it leaves
// as it was.
TEST_F(MsiexecStandInTest, AHeldStandInNeverReplacesTheSavedOriginal) {
    {
        const MsiexecStandIn first;
        const UniqueHandle left = startSuspended();
        ASSERT_TRUE(left);
        const std::string refusal = failureOf<std::runtime_error>([] { const MsiexecStandIn second; });
        EXPECT_TRUE(contains(refusal, tstrings::toUtf8(saved) + " and cannot go back to its place"));
        EXPECT_EQ(original, readFile(saved)) << "the saved original was replaced";
        ::TerminateProcess(left.get(), 1);
        ::WaitForSingleObject(left.get(), INFINITE);
    }
    EXPECT_EQ(original, readFile(msiexec));
    EXPECT_FALSE(exists(saved));
}

// msiexec.exe is the stand-in and its original is gone: the stand-in is not
// saved as the original.
TEST_F(MsiexecStandInTest, AStandInWithoutItsOriginalIsNeverSavedAsTheOriginal) {
    const TestDirectory dir;
    const tstring aside = dir / L"msiexec.exe";
    {
        const MsiexecStandIn first;
        ASSERT_TRUE(::MoveFileExW(saved.c_str(), aside.c_str(), MOVEFILE_COPY_ALLOWED));
        const std::string refusal = failureOf<std::runtime_error>([] { const MsiexecStandIn second; });
        EXPECT_TRUE(contains(refusal, " is the test's stand-in and no original is saved"));
        EXPECT_FALSE(exists(saved)) << "the stand-in was saved as the original";
        ASSERT_TRUE(::MoveFileExW(aside.c_str(), saved.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING));
    }
    EXPECT_EQ(original, readFile(msiexec));
}

// What a run that died with the stand-in in place, and nothing running it,
// leaves: the original goes back first, and is saved again.
TEST_F(MsiexecStandInTest, TheOriginalLeftByARunThatDiedGoesBackFirst) {
    ASSERT_TRUE(::CopyFileW(msiexec.c_str(), saved.c_str(), TRUE));
    ASSERT_TRUE(::CopyFileW(siblingProgram(L"velkin-test-msiexec.exe").c_str(), msiexec.c_str(), FALSE));
    {
        const MsiexecStandIn standIn;
        EXPECT_EQ(original, readFile(saved));
    }
    EXPECT_EQ(original, readFile(msiexec));
    EXPECT_FALSE(exists(saved));
}

} // namespace
