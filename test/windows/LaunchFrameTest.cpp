#include "TestSupport.h"
#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

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

// Under a display (VELKIN_TEST_DISPLAY=1, set by the test that runs this one
// under xvfb-run) the failure shows as a real message box: find it, read it
// and press OK as a user would.
class MessageBoxTest : public testing::Test {
protected:
    void SetUp() override {
        if (environmentValue(L"VELKIN_TEST_DISPLAY") != L"1") {
            GTEST_SKIP() << "needs a display: run under xvfb-run with VELKIN_TEST_DISPLAY=1";
        }
    }

    // Starts the probe and gives its process handle.
    static HANDLE startProbe(const tstring& mode) {
        tstring line = quoted(siblingProgram(L"velkin-launch-probe.exe")) + L" " + mode;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process)) {
            return nullptr;
        }
        ::CloseHandle(process.hThread);
        return process.hProcess;
    }

    // The probe's message box other than `seen`, or null once the probe ends.
    static HWND findMessageBox(HANDLE process, DWORD timeoutMs, HWND seen = nullptr) {
        for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
            const HWND box = ::FindWindowW(L"#32770", L"velkin-launch-probe.exe");
            if (box && box != seen) {
                return box;
            }
            if (::WaitForSingleObject(process, 50) == WAIT_OBJECT_0) {
                return nullptr;
            }
        }
        return nullptr;
    }

    static tstring messageText(HWND box) {
        tstring text;
        ::EnumChildWindows(
            box,
            [](HWND child, LPARAM found) -> BOOL {
                wchar_t className[16] = {};
                ::GetClassNameW(child, className, 16);
                wchar_t buffer[1024] = {};
                ::GetWindowTextW(child, buffer, 1024);
                if (tstring(className) == L"Static" && buffer[0] != L'\0') {
                    *reinterpret_cast<tstring*>(found) = buffer;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&text));
        return text;
    }

    static uint32_t exitCodeOf(HANDLE process) {
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process, 30000));
        DWORD code = 0;
        ::GetExitCodeProcess(process, &code);
        ::CloseHandle(process);
        return code;
    }
};

TEST_F(MessageBoxTest, FailureShowsThePlainMessageOnce) {
    const HANDLE process = startProbe(L"syserror");
    ASSERT_NE(nullptr, process);
    const HWND box = findMessageBox(process, 30000);
    ASSERT_NE(nullptr, box) << "no message box appeared";
    EXPECT_EQ(L"DeleteFile(C:\\velkin-missing-directory\\gr\u00FC\u00DFe.txt) failed. System "
              L"error [3](system error 3 (" + systemErrorDescription(3) + L"))",
              messageText(box));
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(nullptr, findMessageBox(process, 30000, box)) << "a second message box appeared";
    EXPECT_EQ(failureExitCode, exitCodeOf(process));
}

TEST_F(MessageBoxTest, UnknownFailureSaysSo) {
    const HANDLE process = startProbe(L"other");
    ASSERT_NE(nullptr, process);
    const HWND box = findMessageBox(process, 30000);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(L"Unknown error", messageText(box));
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(failureExitCode, exitCodeOf(process));
}

// A quiet run has nobody to press OK: the failure ends the run at once.
TEST_F(MessageBoxTest, UnattendedRunShowsNone) {
    const HANDLE process = startProbe(L"syserror /qn");
    ASSERT_NE(nullptr, process);
    EXPECT_EQ(nullptr, findMessageBox(process, 30000));
    EXPECT_EQ(failureExitCode, exitCodeOf(process));
}

TEST_F(MessageBoxTest, SuccessShowsNothing) {
    const HANDLE process = startProbe(L"store0");
    ASSERT_NE(nullptr, process);
    EXPECT_EQ(nullptr, findMessageBox(process, 30000));
    EXPECT_EQ(0u, exitCodeOf(process));
}

} // namespace
