#include "TestSupport.h"
#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const uint32_t failureExitCode = static_cast<uint32_t>(-1);

ChildResult runProbe(const tstring& mode, const tstring& debug = L"") {
    return runChild(siblingProgram(L"velkin-launch-probe.exe"), mode, {{L"VELKIN_DEBUG", debug}});
}

TEST(LaunchFrameTest, ExitCodeIsWhatTheMainFunctionStored) {
    EXPECT_EQ(0u, runProbe(L"store0").exitCode);
    EXPECT_EQ(7u, runProbe(L"store7-then-fail").exitCode);
    for (const tstring mode : {L"syserror", L"runtime", L"other"}) {
        EXPECT_EQ(failureExitCode, runProbe(mode).exitCode) << tstrings::toUtf8(mode);
    }
}

TEST(LaunchFrameTest, NormalEndWritesNothing) {
    EXPECT_EQ("", runProbe(L"store0").output);
    EXPECT_EQ("", runProbe(L"store0", L"TRUE").output);
}

// Without a desktop the message box fails at once; the run still ends with
// the main function's exit code and the plain message on standard error,
// which a run that is not a debug run only has when its starter gave it one.
TEST(LaunchFrameTest, FailureWithoutDebugRunWritesOnlyThePlainMessage) {
    for (const tstring debug : {L"", L"TRUE", L"1", L"yes"}) {
        const ChildResult result = runProbe(L"syserror", debug);
        EXPECT_EQ(failureExitCode, result.exitCode);
        EXPECT_EQ("DeleteFile(C:\\velkin-missing-directory\\gr\xC3\xBC\xC3\x9F" "e.txt) failed. "
                  "System error [3](system error 3 (" +
                      tstrings::toUtf8(systemErrorDescription(3)) + "))\r\n",
                  result.output)
            << tstrings::toUtf8(debug);
    }
    EXPECT_EQ("plain runtime error\r\n", runProbe(L"runtime").output);
    EXPECT_EQ("Unknown error\r\n", runProbe(L"other").output);
}

} // namespace

namespace {

// On a display the failure shows as a real message box: find it, read it and
// press OK as a user would.
class MessageBoxTest : public DisplayTest {
protected:
    static std::unique_ptr<ChildProcess> startProbe(const tstring& mode) {
        return std::make_unique<ChildProcess>(siblingProgram(L"velkin-launch-probe.exe"), mode);
    }

    // The probe's message box other than `seen`, or null once the probe ends.
    static HWND findProbeBox(const ChildProcess& probe, HWND seen = nullptr) {
        return findMessageBox(probe.process(), L"velkin-launch-probe.exe", 30000, seen);
    }
};

TEST_F(MessageBoxTest, FailureShowsThePlainMessageOnce) {
    const auto probe = startProbe(L"syserror");
    const HWND box = findProbeBox(*probe);
    ASSERT_NE(nullptr, box) << "no message box appeared";
    EXPECT_EQ(L"DeleteFile(C:\\velkin-missing-directory\\gr\u00FC\u00DFe.txt) failed. System "
              L"error [3](system error 3 (" + systemErrorDescription(3) + L"))",
              messageText(box));
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(nullptr, findProbeBox(*probe, box)) << "a second message box appeared";
    EXPECT_EQ(failureExitCode, probe->finish().exitCode);
}

TEST_F(MessageBoxTest, UnknownFailureSaysSo) {
    const auto probe = startProbe(L"other");
    const HWND box = findProbeBox(*probe);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(L"Unknown error", messageText(box));
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(failureExitCode, probe->finish().exitCode);
}

// A quiet run has nobody to press OK: the failure ends the run at once.
TEST_F(MessageBoxTest, UnattendedRunShowsNone) {
    const auto probe = startProbe(L"syserror /qn");
    EXPECT_EQ(nullptr, findProbeBox(*probe));
    EXPECT_EQ(failureExitCode, probe->finish().exitCode);
}

TEST_F(MessageBoxTest, SuccessShowsNothing) {
    const auto probe = startProbe(L"store0");
    EXPECT_EQ(nullptr, findProbeBox(*probe));
    EXPECT_EQ(0u, probe->finish().exitCode);
}

} // namespace
