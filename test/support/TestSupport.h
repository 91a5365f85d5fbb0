#pragma once

#include "ErrorHandling.h"
#include "tstrings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

struct HWND__;

// A fresh directory of the running test's own under the temporary directory,
// removed again at the end of the test. Made with the system's calls only, so
// that the code under test does not prepare its own ground.
class TestDirectory {
public:
    TestDirectory();
    ~TestDirectory();

    TestDirectory(const TestDirectory&) = delete;
    TestDirectory& operator=(const TestDirectory&) = delete;

    const tstring& path() const { return path_; }
    tstring operator/(const tstring& relative) const;

    // Creates the file, and its missing parent directories, with `content`.
    tstring file(const tstring& relative, const std::string& content = "content") const;
    tstring directory(const tstring& relative) const;
    // Copies `source` (a program beside a planted library, an input to
    // spoil) to `relative`.
    tstring copy(const tstring& source, const tstring& relative) const;

private:
    tstring path_;
};

std::string readFile(const tstring& path);
bool exists(const tstring& path);

// The names directly inside a directory, sorted.
std::vector<tstring> listDirectory(const tstring& directory);

// The value of a variable of this process's environment; empty when unset.
tstring environmentValue(const tstring& name);

// Changes this process's environment for its lifetime (an empty value removes
// a variable) and puts the previous values back: a child started meanwhile
// inherits the changes.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const std::vector<std::pair<tstring, tstring>>& changes);
    ~ScopedEnvironment();

    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::vector<std::pair<tstring, tstring>> saved_;
};

struct ChildResult {
    uint32_t exitCode;
    std::string output;  // standard output and standard error together
};

// A child process: `program` (quoted here) with the arguments, the given
// environment changes (an empty value removes the variable) and current
// directory (empty: ours), its output collected. Children may be started
// from several threads at once. One still running when the object goes is
// ended.
class ChildProcess {
public:
    ChildProcess(const tstring& program, const tstring& arguments,
                 const std::vector<std::pair<tstring, tstring>>& environment = {},
                 const tstring& currentDirectory = tstring());
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits for its end: half the time limit of a unit test, then a hung
    // child is ended and the test fails naming it.
    ChildResult finish();
    // Ends it at once, as Task Manager or a deployment tool's time-out would.
    void kill();
    bool running() const;
    void* process() const { return process_; }

private:
    tstring commandLine_;
    void* output_;
    void* process_ = nullptr;
};

// Runs a child (see ChildProcess) to its end.
ChildResult runChild(const tstring& program, const tstring& arguments,
                     const std::vector<std::pair<tstring, tstring>>& environment = {},
                     const tstring& currentDirectory = tstring());

// Tests that need a display, where message boxes appear: message-box-test.sh
// runs them under xvfb-run with VELKIN_TEST_DISPLAY=1; elsewhere they are
// skipped.
class DisplayTest : public testing::Test {
protected:
    void SetUp() override;
};

// The message box titled `title` that appears while `process` runs, other
// than `seen`; null when none appears within `timeoutMs` or the process ends
// first.
HWND__* findMessageBox(void* process, const tstring& title, uint32_t timeoutMs,
                       HWND__* seen = nullptr);
// The text that a message box shows.
tstring messageText(HWND__* box);

// The current user's SID, and the owner's SID of a file or directory as the
// system reads it back ("S-1-..."); "<unknown>" when it cannot be read.
tstring currentUserSid();
tstring ownerSid(const tstring& path);

// A copy of the setup `setup` at `destination` whose resource "MSI" claims
// `extraBytes` more than the file holds, as a damaged download could.
tstring damagedSetupCopy(const tstring& setup, const tstring& destination, uint32_t extraBytes);

// The full path of a program next to the running test executable.
tstring siblingProgram(const tstring& fileName);
// The full path of a program in the system directory.
tstring systemProgram(const tstring& fileName);
// The full path of a test package (test/packages, and those derived from them).
tstring testPackage(const tstring& fileName);
// Where the demo package installs its files for the current user.
tstring demoInstallDir();

// Puts the stand-in msi.dll (test/wrapper/PlantedMsi.cpp) into `directory`,
// where a load by bare name finds it first, and gives the path of the mark file
// that it leaves when anything loads it. Wine loads such a copy only when the
// process tree started with WINEDLLOVERRIDES=msi=n,b (set by the test run);
// Windows always does.
tstring plantInstallerLibrary(const tstring& directory);

// For EXPECT_TRUE and EXPECT_FALSE: whether `text` starts with, or holds,
// `piece`; the message shows both.
testing::AssertionResult startsWith(const std::string& text, const std::string& piece);
testing::AssertionResult startsWith(const tstring& text, const tstring& piece);
testing::AssertionResult contains(const std::string& text, const std::string& piece);
testing::AssertionResult contains(const tstring& text, const tstring& piece);

// Wraps an argument in quotes for a command line (enough for the test's own
// arguments: no quotes or trailing backslashes inside).
tstring quoted(const tstring& argument);

// Runs `action`, which must throw an `Error`, and gives what `read` takes from
// the caught exception; an empty value, and a recorded failure, when nothing
// is thrown. Any other exception goes on to the test, which fails with it.
template <class Error, class Action, class Read>
auto readThrown(Action action, Read read) -> decltype(read(std::declval<const Error&>())) {
    try {
        action();
    } catch (const Error& e) {
        return read(e);
    }
    ADD_FAILURE() << "no exception";
    return {};
}

// A copy of the `Error` that `action` throws, for a test that reads several
// of its parts. `Error` is the exact type: a copy of a base keeps only the base.
template <class Error, class Action>
std::optional<Error> thrown(Action action) {
    return readThrown<Error>(action, [](const Error& e) { return std::optional<Error>(e); });
}

// The text that a handler of `Error` reads from what `action` throws: a
// located error's plain message (without its location), another exception's
// what().
template <class Error = VkErrorBase, class Action>
std::string failureOf(Action action) {
    return readThrown<Error>(action, [](const Error& e) -> std::string {
        if constexpr (std::is_base_of_v<VkErrorBase, Error>) {
            return e.originalMessage();
        } else {
            return e.what();
        }
    });
}

// The status code that the `Error` thrown by `action` carries.
template <class Error, class Action>
uint32_t statusOf(Action action) {
    return readThrown<Error>(action, [](const Error& e) -> uint32_t { return e.getStatus(); });
}
