#include "PrivateDirectorySecurity.h"
#include "RecordingLogAppender.h"
#include "TestSupport.h"
#include "UniqueHandles.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WindowsApi.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <regex>

namespace {

using namespace FileUtils;

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

// The access list of a real directory as the system reads it back.
std::string accessListOf(const tstring& path) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, nullptr, nullptr, &raw));
    const std::unique_ptr<void, LocalFreeDeleter> descriptor(raw);
    wchar_t* text = nullptr;
    ::ConvertSecurityDescriptorToStringSecurityDescriptorW(raw, SDDL_REVISION_1,
                                                           DACL_SECURITY_INFORMATION, &text, nullptr);
    const std::unique_ptr<wchar_t, LocalFreeDeleter> owned(text);
    return text ? utf8(text) : std::string();
}

// Private: there are entries (a missing list grants everyone everything), and
// each is the directory's own (not inherited) and allows SYSTEM, the
// Administrators or the current user. Windows keeps the protected list as
// given; Wine maps it onto Unix permission bits, and reads a default directory
// back with an entry for Everyone.
bool isPrivate(const std::string& accessList) {
    const std::string user = utf8(currentUserSid());
    const std::regex entry(R"(\((\w+);(\w*);[^;]*;[^;]*;[^;]*;([^)]*)\))");
    int entries = 0;
    for (std::sregex_iterator it(accessList.begin(), accessList.end(), entry), end; it != end; ++it) {
        const std::string type = (*it)[1], flags = (*it)[2], trustee = (*it)[3];
        if (type != "A" || flags.find("ID") != std::string::npos ||
            (trustee != "SY" && trustee != "BA" && trustee != user)) {
            return false;
        }
        ++entries;
    }
    return entries > 0;
}

TEST(WinFileUtilsTest, DeletingAReadOnlyFileClearsTheAttributeFirst) {
    TestDirectory dir;
    const tstring file = dir.file(L"locked.txt");
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    deleteFile(file);
    EXPECT_FALSE(exists(file));
}

TEST(WinFileUtilsTest, MissingFileCountsAsDeleted) {
    TestDirectory dir;
    RecordingLogAppender log;
    EXPECT_TRUE(deleteFile(dir / L"absent.txt", std::nothrow));
    EXPECT_TRUE(deleteFile(dir / L"absent\\inside.txt", std::nothrow));
    EXPECT_NO_THROW(deleteFile(dir / L"absent\\inside.txt"));
    EXPECT_TRUE(deleteDirectory(dir / L"absent", std::nothrow));
    EXPECT_TRUE(log.records.empty());
}

TEST(WinFileUtilsTest, FailedDeletionsNameTheCall) {
    TestDirectory dir;
    const tstring sub = dir.directory(L"sub");
    dir.file(L"sub\\keep.txt");
    EXPECT_FALSE(deleteFile(sub, std::nothrow));
    EXPECT_TRUE(startsWith(failureOf([&] { deleteFile(sub); }),
                           "DeleteFile(" + utf8(sub) + ") failed. System error [5]"));
    EXPECT_FALSE(deleteDirectory(sub, std::nothrow));
    EXPECT_TRUE(startsWith(failureOf([&] { deleteDirectory(sub); }),
                           "RemoveDirectory(" + utf8(sub) + ") failed. System error ["));
    EXPECT_TRUE(exists(sub + L"\\keep.txt"));
}

TEST(WinFileUtilsTest, CreateDirectoriesMakesMissingLevelsAndKeepsExistingOnes) {
    TestDirectory dir;
    const tstring deep = dir / L"a\\b/c";
    createDirectories(deep);
    EXPECT_TRUE(isDirectory(deep));
    EXPECT_EQ(std::vector<tstring>{L"b"}, listDirectory(dir / L"a"));
    EXPECT_NO_THROW(createDirectories(deep + L"\\\\"));
}

TEST(WinFileUtilsTest, CreateDirectoriesStopsAtALevelThatIsAFile) {
    TestDirectory dir;
    const tstring file = dir.file(L"plain");
    const std::string failure = failureOf([&] { createDirectories(file + L"\\below"); });
    EXPECT_TRUE(startsWith(failure, "CreateDirectory(" + utf8(file) + "\\) failed. System error ["));
}

TEST(WinFileUtilsTest, CopyKeepsTheSourceAndHonoursFailIfExists) {
    TestDirectory dir;
    const tstring from = dir.file(L"from.txt", "data");
    const tstring to = dir / L"made\\to.txt";
    copyFile(from, to, true);
    EXPECT_EQ("data", readFile(to));
    EXPECT_EQ("data", readFile(from));
    EXPECT_TRUE(startsWith(failureOf([&] { copyFile(from, to, true); }),
                           "CopyFile(" + utf8(from) + ", " + utf8(to) + ", 1) failed"));
}

TEST(WinFileUtilsTest, TempNamesRefuseIllegalCharacters) {
    TestDirectory dir;
    for (const tstring& prefix : {tstring(L"a/b"), tstring(L"c:"), tstring(L"x\u0001"),
                                 tstring(L"n\0ul", 4)}) {
        // An exception's text ends at a NUL.
        const std::string expected = "Illegal characters in prefix=" + utf8(prefix);
        EXPECT_EQ(expected.c_str(), failureOf([&] { tempName(prefix, L".tmp"); }));
    }
    EXPECT_EQ("Illegal characters in suffix=.t*p",
              failureOf([&] { createTempDirectory(L"", L".t*p", dir.path()); }));
    EXPECT_TRUE(listDirectory(dir.path()).empty());
}

// Random, and always of one length: a path made with it is as long on every
// run, and a name is recognisably of its maker.
TEST(WinFileUtilsTest, TempDirectoryNamesHaveOneLengthAndTellTheirMaker) {
    TestDirectory dir;
    const tstring first = createTempDirectory(L"pre-", L".tmp", dir.path());
    const tstring second = createTempDirectory(L"pre-", L".tmp", dir.path());
    EXPECT_NE(first, second);
    for (const tstring& made : {first, second}) {
        EXPECT_TRUE(std::regex_match(utf8(leafName(made)), std::regex(R"(pre-[0-9a-f]{16}\.tmp)")))
            << utf8(made);
        EXPECT_TRUE(isDirectory(made));
        EXPECT_FALSE(isNonEmptyDirectory(made));
        EXPECT_TRUE(isTempName(leafName(made), L"pre-", L".tmp"));
    }
    for (const tstring name : {L"pre-0123456789abcdef0.tmp", L"pre-0123456789abcde.tmp",
                               L"pre-0123456789abcdeg.tmp", L"pro-0123456789abcdef.tmp",
                               L"pre-0123456789abcdef.tmx"}) {
        EXPECT_FALSE(isTempName(name, L"pre-", L".tmp")) << utf8(name);
    }
}

// Private directories and staging files come by the same rule.
struct UniqueCase {
    const char* name;
    tstring (*create)(const tstring& directory, const std::function<tstring()>& nextName);
    bool makesDirectory;
};

class UniqueNameTest : public testing::TestWithParam<UniqueCase> {};

tstring uniqueFile(const tstring& directory, const std::function<tstring()>& nextName) {
    UniqueHandle file;
    const tstring path = createUniqueFile(directory, nextName, file);
    EXPECT_TRUE(file);
    return path;
}

// A name that is taken, by a directory or a file, moves on to the next; any
// other failure ends the attempt at once, with the system's reason.
TEST_P(UniqueNameTest, OnlyTakenNamesMoveOnToTheNext) {
    TestDirectory dir;
    dir.directory(L"taken-directory");
    dir.file(L"taken-file");
    const tstring names[] = {L"taken-directory", L"taken-file", L"free"};
    size_t next = 0;
    EXPECT_EQ(dir / L"free", GetParam().create(dir.path(), [&] { return names[next++]; }));
    EXPECT_EQ(GetParam().makesDirectory, isDirectory(dir / L"free"));
    EXPECT_TRUE(exists(dir / L"free"));

    size_t tries = 0;
    EXPECT_TRUE(contains(failureOf([&] {
                             GetParam().create(dir.path(), [&] {
                                 ++tries;
                                 return L"missing\\x";
                             });
                         }),
                         "System error [3]"));
    EXPECT_EQ(1u, tries);
    EXPECT_TRUE(contains(failureOf([&] {
                             GetParam().create(dir.path(), [] { return L"taken-file"; });
                         }),
                         "100 names in a row were taken"));
}

INSTANTIATE_TEST_SUITE_P(WinFileUtilsTest, UniqueNameTest,
                         testing::Values(UniqueCase{"Directory", createUniqueDirectory, true},
                                         UniqueCase{"File", uniqueFile, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WinFileUtilsTest, CreateDirectoriesStartsBelowAnyRoot) {
    TestDirectory dir;
    for (const tstring root : {L"", L"\\\\?\\"}) {
        const tstring deep = root + (dir / (L"below" + std::to_wstring(root.size()) + L"\\a\\b"));
        createDirectories(deep);
        EXPECT_TRUE(isDirectory(deep)) << utf8(deep);
    }
}

// Only the leaf is created: a missing parent is a failure that names it and
// the system's reason, and nothing appears outside it.
TEST(WinFileUtilsTest, TempDirectoryNeedsItsParent) {
    TestDirectory dir;
    const tstring missing = dir / L"x\\y";
    EXPECT_TRUE(startsWith(failureOf([&] { createTempDirectory(L"pre", L"", missing); }),
                           "Cannot create a directory in " + utf8(missing) + ": CreateDirectory(" +
                               utf8(missing) + "\\pre"));
    EXPECT_TRUE(listDirectory(dir.path()).empty());
}

TEST(WinFileUtilsTest, TempDirectoryReadsBackAsPrivate) {
    TestDirectory dir;
    const std::string made = accessListOf(createTempDirectory(L"", L".tmp", dir.path()));
    EXPECT_TRUE(isPrivate(made)) << made;
    // The same reading tells an ordinary directory apart.
    const std::string plain = accessListOf(dir.directory(L"plain"));
    EXPECT_FALSE(isPrivate(plain)) << plain;
}

TEST(WinFileUtilsTest, PrivateSecurityGrantsOnlyUserSystemAndAdministrators) {
    const std::string sddl = utf8(PrivateDirectorySecurity().sddl());
    EXPECT_TRUE(std::regex_match(sddl, std::regex(R"(D:P\(A;OICI;FA;;;SY\)\(A;OICI;FA;;;BA\))"
                                                  R"(\(A;OICI;FA;;;S-1-5-[0-9-]+\))")))
        << sddl;
}

TEST(WinFileUtilsTest, QueriesTellFilesFromDirectories) {
    TestDirectory dir;
    const tstring file = dir.file(L"f.txt");
    const tstring empty = dir.directory(L"empty");
    EXPECT_TRUE(pathExists(file));
    EXPECT_FALSE(isDirectory(file));
    EXPECT_TRUE(isDirectory(empty));
    EXPECT_FALSE(isNonEmptyDirectory(empty));
    EXPECT_TRUE(isNonEmptyDirectory(dir.path()));
    EXPECT_FALSE(pathExists(dir / L"none"));
    EXPECT_FALSE(isDirectory(dir / L"none"));
    EXPECT_FALSE(isDirectoryLink(empty));
    EXPECT_TRUE(isMissingPathError(2));
    EXPECT_TRUE(isMissingPathError(3));
    EXPECT_FALSE(isMissingPathError(5));
}

TEST(WinFileUtilsTest, AbsolutePathsResolveAgainstTheCurrentDirectory) {
    TestDirectory dir;
    wchar_t saved[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.path().c_str()));
    const tstring current = toAbsolutePath(L"");
    const tstring resolved = toAbsolutePath(L"a\\..\\b.txt");
    ::SetCurrentDirectoryW(saved);
    EXPECT_EQ(dir.path(), stripTrailingSeparators(current));
    EXPECT_EQ(dir / L"b.txt", resolved);
}

} // namespace
