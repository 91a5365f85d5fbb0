#pragma once

#include "ErrorHandling.h"
#include "tstrings.h"

#include <cstdint>
#include <string>
#include <vector>

// Files for the packing layer's tests on Linux: a directory of the test's
// own, removed with everything in it at the end, and whole files read and
// written with the C library alone.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();

    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    // The path of `name` inside, as text for the code under test.
    tstring operator/(const std::string& name) const;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::vector<uint8_t> readBytes(const tstring& path);
void writeBytes(const tstring& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> bytesOf(const std::string& text);
// The names in a directory, sorted; none when it cannot be listed.
std::vector<std::string> namesIn(const std::string& directory);

// The user's words of the failure that `action` throws, or "no failure".
template <class Action>
std::string failureOf(Action action) {
    try {
        action();
    } catch (const VkErrorBase& e) {
        return e.originalMessage();
    }
    return "no failure";
}

// What a Python script prints, run with `arguments` (each quoted for the
// shell): readers of formats that are independent of the code under test.
// A script that fails adds a test failure.
std::string runPython(const std::string& script, const std::vector<std::string>& arguments);

// The setup stub and the test packages of the build.
tstring stubPath();
tstring packagePath(const std::string& name);
