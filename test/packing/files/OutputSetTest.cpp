#include "ErrorHandling.h"
#include "NativeText.h"
#include "OutputSet.h"
#include "TestFiles.h"
#include "WindowsFileName.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

namespace {

class Staging {
public:
    explicit Staging(bool named) {
        if (named) {
            ::setenv("VELKIN_PACK_STAGING", "named", 1);
        }
    }
    ~Staging() { ::unsetenv("VELKIN_PACK_STAGING"); }
};

// A set whose last output cannot take its name (a directory took it after
// the checks) is undone: what the first output replaced is back, what the
// second added is gone, and no staging or kept file stays; with unnamed and
// with named staging files.
TEST(OutputSetTest, ALaterFailurePutsBackWhatEarlierOutputsReplaced) {
    for (const bool named : {false, true}) {
        const Staging staging(named);
        ScratchDirectory dir;
        writeBytes(dir / "app.intunewin", bytesOf("the old package"));
        const std::string failure = failureOf([&] {
            OutputSet outputs;
            outputs.add(dir / "app.intunewin").write(0, "new package", 11);
            outputs.add(dir / "app.json").write(0, "new body", 8);
            outputs.add(dir / "app.yaml").write(0, "new manifest", 12);
            ASSERT_EQ(0, ::mkdir((dir.path() + "/app.yaml").c_str(), 0755));
            outputs.publish();
        });
        EXPECT_NE(std::string::npos, failure.find("Cannot write " + dir.path() + "/app.yaml")) << failure;
        EXPECT_EQ(bytesOf("the old package"), readBytes(dir / "app.intunewin")) << named;
        EXPECT_EQ((std::vector<std::string>{"app.intunewin", "app.yaml"}), namesIn(dir.path())) << named;
    }
}

// Published whole, a set replaces and adds, and leaves nothing else.
TEST(OutputSetTest, ASetIsPublishedWhole) {
    ScratchDirectory dir;
    writeBytes(dir / "a.yaml", bytesOf("old a"));
    {
        OutputSet outputs;
        outputs.add(dir / "a.yaml").write(0, "new a", 5);
        outputs.add(dir / "b.yaml").write(0, "new b", 5);
        EXPECT_EQ(bytesOf("old a"), readBytes(dir / "a.yaml"));
        outputs.publish();
    }
    EXPECT_EQ(bytesOf("new a"), readBytes(dir / "a.yaml"));
    EXPECT_EQ(bytesOf("new b"), readBytes(dir / "b.yaml"));
    EXPECT_EQ((std::vector<std::string>{"a.yaml", "b.yaml"}), namesIn(dir.path()));
}

// A name that Windows cannot hold, or one too long for the file system, is
// refused when the output is added, before a byte of the set is written.
TEST(OutputSetTest, NamesAreCheckedWhenAdded) {
    ScratchDirectory dir;
    OutputSet outputs;
    outputs.add(dir / "first.yaml");
    EXPECT_EQ("The output's name 'CON.1.0.0.nupkg' is no file name that Windows can hold: CON is the name of a "
              "device there, with or without an extension",
              failureOf([&] { outputs.add(dir / "CON.1.0.0.nupkg"); }));
    const std::string longest(255, 'n');
    outputs.add(dir / longest);
    EXPECT_NE(std::string::npos, failureOf([&] { outputs.add(dir / (longest + "x")); }).find("it has 256 characters"));
    // 128 characters of two bytes each: Windows holds the name, ext4 does not.
    std::string wide;
    for (int i = 0; i < 128; ++i) {
        wide += "\xC3\xBC";
    }
    EXPECT_EQ("Cannot write " + dir.path() + "/" + wide + ": File name too long",
              failureOf([&] { outputs.add(dir / wide); }));
    EXPECT_EQ(std::vector<std::string>{}, namesIn(dir.path()));
}

TEST(WindowsFileNameTest, NamesWindowsCannotHold) {
    const struct {
        const wchar_t* name;
        const wchar_t* problem;
    } cases[] = {
        {L"app-setup.exe", L""},
        {L"Dé 日本 (x64) [1].exe", L""},
        {L"CONSOLE.exe", L""},
        {L"COM10.exe", L""},
        {L"a\"b.exe", L"it holds the character \", which Windows reserves"},
        {L"a<b>|c.exe", L"it holds the character <, which Windows reserves"},
        {L"back\\slash.exe", L"it holds the character \\, which Windows reserves"},
        {L"line\nbreak.exe", L"it holds the control character 0x0A"},
        {L"trail.exe ", L"it ends with a blank, which Windows drops"},
        {L"dot.exe.", L"it ends with a dot, which Windows drops"},
        {L"", L"it is empty"},
        {L"CON.exe", L"CON is the name of a device there, with or without an extension"},
        {L"nul", L"NUL is the name of a device there, with or without an extension"},
        {L"aux.x", L"AUX is the name of a device there, with or without an extension"},
        {L"lpt9.exe", L"LPT9 is the name of a device there, with or without an extension"},
        {L"COM1 .exe", L"COM1 is the name of a device there, with or without an extension"},
        {L"com\u00B9.exe", L"COM\u00B9 is the name of a device there, with or without an extension"},
        {L"CONIN$.exe", L"CONIN$ is the name of a device there, with or without an extension"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tstrings::toUtf8(c.problem), tstrings::toUtf8(WindowsFileName::problemWith(c.name)))
            << tstrings::toUtf8(c.name);
    }
    // Windows counts UTF-16 units: a character beyond the BMP is two.
    EXPECT_EQ(L"", WindowsFileName::problemWith(tstring(255, L'a')));
    EXPECT_EQ(L"it has 256 characters, and Windows takes 255 at most",
              WindowsFileName::problemWith(tstring(254, L'a') + L"\U0001F4E6"));
    EXPECT_EQ(L"back\\slash.exe", WindowsFileName::leafOf(L"/work/back\\slash.exe"));
    EXPECT_EQ(L"it holds bytes that are no UTF-8 text", WindowsFileName::problemWith(fromNative("bad\xFF.exe")));
}

} // namespace
