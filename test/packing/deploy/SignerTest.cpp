#include "ErrorHandling.h"
#include "NativeText.h"
#include "PrivateDirectory.h"
#include "ShellCommand.h"
#include "Signer.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

std::string textOf(const tstring& path) {
    const std::vector<uint8_t> bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string failureOf(const Signer& signer, const tstring& file, const tstring& signedFile, const tstring& original) {
    try {
        signer.sign(SignStep::Package, file, signedFile, original);
    } catch (const VkErrorBase& e) {
        return e.originalMessage();
    }
    return "(no failure)";
}

TEST(SignerTest, LastLineOfStandardError) {
    const struct {
        std::string text;
        std::string line;
    } cases[] = {
        {"", ""},
        {"\n\n", ""},
        {"only", "only"},
        {"first\nsecond\n", "second"},
        {"first\r\nsecond\r\n\r\n  \n", "second"},
        {"warning\nerror: no key  \n\t\n", "error: no key"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.line, ShellCommand::lastLine(c.text)) << c.text;
    }
}

// The shell hands each quoted path to the program as it is, whatever it
// holds, also where the user put the marker in double quotes ("%1"): the
// signer's command writes its arguments back for the test.
TEST(SignerTest, PathsReachTheSignerAsTheyAre) {
    ScratchDirectory dir;
    const tstring record = dir / "arguments";
    writeBytes(dir / "x", bytesOf("signature"));
    const tstring names[] = {L"plain.msi", L"with blank.msi", L"it's \"quoted\" $HOME `date` \\ ;&|*.msi",
                             L"line\nbreak.msi", L"\x65E5\x672C.msi"};
    for (const tstring& markers : {tstring(L"%1 %2"), tstring(L"\"%1\" \"%2\"")}) {
        for (const tstring& name : names) {
            const Signer signer(L"printf '%s|%s' " + markers + L" >" + ShellCommand::quote(record) + L"; cat %1 " +
                                ShellCommand::quote(dir / "x") + L" >%2");
            const tstring file = dir / toNative(name);
            writeBytes(file, bytesOf("package"));
            EXPECT_EQ(dir / "signed.msi", signer.sign(SignStep::Package, file, dir / "signed.msi", file));
            EXPECT_EQ(toNative(file) + "|" + toNative(dir / "signed.msi"), textOf(record)) << toNative(markers);
            ::unlink(toNative(file).c_str());
        }
    }
}

TEST(SignerTest, OnlyTheMarkersAreReplaced) {
    const Signer signer(L"sign %1 --out %2 --pin %3 100% %%1");
    EXPECT_EQ(L"sign 'a b' --out 'c' --pin %3 100% %'a b'", signer.commandFor(L"a b", L"c"));
    EXPECT_TRUE(Signer::namesFile(L"signtool sign /a %1"));
    EXPECT_FALSE(Signer::namesFile(L"signtool sign /a"));
}

// Each way a signer can fail is one message naming the step, how the
// signer ended and the last line it wrote to standard error.
TEST(SignerTest, FailuresNameStepExitCodeAndLastMessage) {
    ScratchDirectory dir;
    const tstring file = dir / "demo.msi";
    const tstring signedFile = dir / "signed.msi";
    const tstring original = dir / "original.msi";
    writeBytes(file, bytesOf("package"));
    writeBytes(original, bytesOf("package"));
    const struct {
        tstring command;
        std::string message;
    } cases[] = {
        {L": %1; echo warming up >&2; echo 'error: no key' >&2; exit 3",
         "Signing the package failed: the sign command exited with 3; its last message: error: no key"},
        {L"kill -TERM $$ # %1", "Signing the package failed: the sign command was ended by signal 15; it wrote "
                                "nothing to standard error"},
        {L": %1 %2", "Signing the package failed: the sign command exited with 0 but wrote no signed file; it "
                     "wrote nothing to standard error"},
        {L"mkdir %2 # %1", "Signing the package failed: the sign command exited with 0 but wrote no signed file; "
                           "it wrote nothing to standard error"},
        {L"cp %1 %2; echo copied >&2", "Signing the package failed: the sign command exited with 0 but left the "
                                        "file as it was; its last message: copied"},
        {L"touch %1", "Signing the package failed: the sign command exited with 0 but left the file as it was; it "
                      "wrote nothing to standard error"},
    };
    for (const auto& c : cases) {
        ::rmdir(toNative(signedFile).c_str());
        EXPECT_EQ(c.message, failureOf(Signer(c.command), file, signedFile, original)) << tstrings::toUtf8(c.command);
    }
}

// A signature changes bytes, not always the size: either counts.
TEST(SignerTest, ChangedBytesOfTheSameSizeAreSigned) {
    ScratchDirectory dir;
    const tstring file = dir / "demo.msi";
    const tstring original = dir / "original.msi";
    writeBytes(original, bytesOf("package"));
    for (const wchar_t* command : {L"printf P | dd of=%1 conv=notrunc 2>/dev/null", L"printf 'packagE' >%2 # %1"}) {
        writeBytes(file, bytesOf("package"));
        const Signer signer(command);
        const tstring result = signer.sign(SignStep::Package, file, dir / "signed.msi", original);
        EXPECT_EQ(signer.signsInPlace() ? file : dir / "signed.msi", result);
        EXPECT_EQ(7u, readBytes(result).size());
    }
}

// Private to the user, and gone with whatever a signer left in it.
TEST(SignerTest, PrivateDirectoryLeavesNothing) {
    std::string path;
    {
        const PrivateDirectory work;
        path = toNative(work.path());
        struct stat status {};
        ASSERT_EQ(0, ::stat(path.c_str(), &status));
        EXPECT_EQ(0700u, status.st_mode & 0777u);
        const tstring file = work.place(L"package", L"demo.msi");
        const tstring original = work.place(L"original", L"demo.msi");
        writeBytes(file, bytesOf("package"));
        writeBytes(original, bytesOf("package"));
        Signer(L"mkdir -p %1.d/deeper && touch %1.d/deeper/left && ln -s / %1.d/root && printf x >>%1")
            .sign(SignStep::Package, file, L"", original);
    }
    struct stat status {};
    EXPECT_NE(0, ::stat(path.c_str(), &status));
    EXPECT_EQ(0, ::stat("/", &status));
}

} // namespace
