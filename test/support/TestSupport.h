#pragma once

#include "ErrorHandling.h"
#include "tstrings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

private:
    tstring path_;
};

std::string readFile(const tstring& path);
bool exists(const tstring& path);

// The names directly inside a directory, sorted.
std::vector<tstring> listDirectory(const tstring& directory);

struct ChildResult {
    uint32_t exitCode;
    std::string output;  // standard output and standard error together
};

// Runs a command line to its end with the given environment changes (an empty
// value removes the variable), in the given current directory (empty: ours),
// and collects its output.
ChildResult runChild(const tstring& commandLine,
                     const std::vector<std::pair<tstring, tstring>>& environment = {},
                     const tstring& currentDirectory = tstring());

// The full path of a program next to the running test executable.
tstring siblingProgram(const tstring& fileName);
// The full path of a program in the system directory.
tstring systemProgram(const tstring& fileName);

// Puts the stand-in msi.dll (test/wrapper/PlantedMsi.cpp) into `directory`,
// where a load by bare name finds it first, and gives the path of the mark file
// that it leaves when anything loads it. Wine loads such a copy only when the
// process tree started with WINEDLLOVERRIDES=msi=n,b (set by the test run);
// Windows always does.
tstring plantInstallerLibrary(const tstring& directory);

// Wraps an argument in quotes for a command line (enough for the test's own
// arguments: no quotes or trailing backslashes inside).
tstring quoted(const tstring& argument);

// Runs `action`, which must throw a located error, and gives its plain text.
template <class Action>
std::string failureOf(Action action) {
    try {
        action();
    } catch (const VkErrorBase& e) {
        return e.originalMessage();
    }
    ADD_FAILURE() << "no exception";
    return std::string();
}
