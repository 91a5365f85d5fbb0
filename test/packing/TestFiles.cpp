#include "TestFiles.h"

#include "NativeText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <ftw.h>
#include <unistd.h>

ScratchDirectory::ScratchDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/velkin-test-XXXXXX";
    if (!::mkdtemp(&pattern[0])) {
        ADD_FAILURE() << "mkdtemp failed";
    }
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    ::nftw(
        path_.c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* listing = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(listing)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(listing);
    }
    std::sort(names.begin(), names.end());
    return names;
}

tstring ScratchDirectory::operator/(const std::string& name) const { return fromNative(path_ + "/" + name); }

std::vector<uint8_t> readBytes(const tstring& path) {
    std::vector<uint8_t> bytes;
    if (FILE* file = std::fopen(toNative(path).c_str(), "rb")) {
        uint8_t buffer[65536];
        for (size_t read; (read = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) {
            bytes.insert(bytes.end(), buffer, buffer + read);
        }
        std::fclose(file);
    } else {
        ADD_FAILURE() << "cannot read " << toNative(path);
    }
    return bytes;
}

void writeBytes(const tstring& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(toNative(path).c_str(), "wb");
    ASSERT_NE(nullptr, file) << toNative(path);
    EXPECT_EQ(bytes.size(), std::fwrite(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
}

namespace {

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

} // namespace

std::string runPython(const std::string& script, const std::vector<std::string>& arguments) {
    std::string command = "python3 -c " + shellQuoted(script);
    for (const std::string& argument : arguments) {
        command += " " + shellQuoted(argument);
    }
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot start python3";
        return output;
    }
    char buffer[4096];
    for (size_t read; (read = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;) {
        output.append(buffer, read);
    }
    const int status = ::pclose(pipe);
    EXPECT_EQ(0, status) << "python3 failed: " << output;
    return output;
}

tstring stubPath() { return fromNative(VELKIN_TEST_STUB); }

tstring packagePath(const std::string& name) { return fromNative(std::string(VELKIN_TEST_PACKAGES) + "/" + name); }
