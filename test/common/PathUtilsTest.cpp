#include "PathUtils.h"

#include <gtest/gtest.h>

namespace {

using namespace FileUtils;

struct PathCase {
    const wchar_t* path;
    const wchar_t* expected;
};

class ParentPathTest : public testing::TestWithParam<PathCase> {};

TEST_P(ParentPathTest, DropsTheLastComponent) {
    EXPECT_EQ(GetParam().expected, parentPath(GetParam().path)) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Paths, ParentPathTest,
                         testing::Values(PathCase{L"C:\\a\\b", L"C:\\a"},
                                         PathCase{L"C:\\a\\b\\", L"C:\\a\\b"},
                                         PathCase{L"C:\\a\\b\\.", L"C:\\a"},
                                         PathCase{L"C:/a/b/.", L"C:/a"},
                                         PathCase{L"C:\\", L"C:"},
                                         PathCase{L"C:\\a\\\\\\b", L"C:\\a"},
                                         PathCase{L"name", L""},
                                         PathCase{L"\\name", L""},
                                         PathCase{L"\\\\name", L""},
                                         PathCase{L"", L""}));

class PathSuffixTest : public testing::TestWithParam<PathCase> {};

TEST_P(PathSuffixTest, IsTheExtensionWithItsDot) {
    EXPECT_EQ(GetParam().expected, pathSuffix(GetParam().path)) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Paths, PathSuffixTest,
                         testing::Values(PathCase{L"a.b.txt", L".txt"},
                                         PathCase{L"a..b", L".b"},
                                         PathCase{L".profile", L".profile"},
                                         PathCase{L".", L"."},
                                         PathCase{L"..", L""},
                                         PathCase{L"C:\\x\\..", L""},
                                         PathCase{L"C:\\x.d\\name", L""},
                                         PathCase{L"C:\\x.d/name", L""},
                                         PathCase{L"name", L""},
                                         PathCase{L"C:\\dir\\main.msi", L".msi"}));

struct RootCase {
    const wchar_t* path;
    size_t rootLength;
};

class RootLengthTest : public testing::TestWithParam<RootCase> {};

// Only a path with a whole root is absolute: one that hangs from the current
// drive ("\dir") or from a drive's current directory ("C:dir") is not.
TEST_P(RootLengthTest, CoversTheVolumePartOnly) {
    EXPECT_EQ(GetParam().rootLength, rootLength(GetParam().path)) << GetParam().path;
    EXPECT_EQ(GetParam().rootLength > 0, isAbsolutePath(GetParam().path)) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RootLengthTest,
    testing::Values(RootCase{L"C:\\Temp", 3}, RootCase{L"c:/Temp", 3}, RootCase{L"C:\\", 3},
                    RootCase{L"\\\\server\\share\\temp", 15}, RootCase{L"\\\\server\\share", 14},
                    RootCase{L"\\\\?\\C:\\Temp", 7}, RootCase{L"\\\\?\\C:", 6},
                    RootCase{L"\\\\?\\UNC\\server\\share\\temp", 21},
                    RootCase{L"\\\\.\\C:\\Temp", 7},
                    RootCase{L"\\\\?\\Volume{0b1c}\\Temp", 17},
                    RootCase{L"\\dir", 0}, RootCase{L"/dir", 0}, RootCase{L"C:dir", 0},
                    RootCase{L"dir\\sub", 0}, RootCase{L"1:\\x", 0}, RootCase{L"", 0}));

TEST(PathUtilsTest, NormalizeResolvesDotsAsTheSystemDoes) {
    EXPECT_EQ(L"C:\\a\\c.mst", normalizePath(L"C:\\a\\b\\..\\.\\c.mst"));
    EXPECT_EQ(L"C:\\c.mst", normalizePath(L"C:\\..\\..\\c.mst"));
    EXPECT_EQ(L"\\\\?\\C:\\t.mst", normalizePath(L"\\\\?\\C:\\d\\p\\..\\..\\t.mst"));
    EXPECT_EQ(L"\\\\server\\share\\t.mst", normalizePath(L"\\\\server\\share\\..\\t.mst"));
    EXPECT_EQ(L"..\\..\\t.mst", normalizePath(L"..\\x\\..\\..\\t.mst"));
    EXPECT_EQ(L"t.mst", normalizePath(L".\\a//..\\t.mst"));
    EXPECT_EQ(L"", normalizePath(L"a\\.."));
    EXPECT_EQ(L"C:..\\t.mst", normalizePath(L"C:..\\t.mst"));
    EXPECT_EQ(L"\\t.mst", normalizePath(L"\\..\\t.mst"));
}

TEST(PathUtilsTest, OrdinaryFormOnlyWhereItNamesTheSameFile) {
    EXPECT_EQ(L"C:\\Temp\\velkin-1.tmp\\p\\main.msi", ordinaryForm(L"\\\\?\\C:\\Temp\\velkin-1.tmp\\p\\main.msi"));
    EXPECT_EQ(L"\\\\server\\share\\Temp\\main.msi", ordinaryForm(L"\\\\?\\unc\\server\\share\\Temp\\main.msi"));
    EXPECT_EQ(L"C:\\", ordinaryForm(L"\\\\?\\C:\\"));
    const tstring fits = L"C:\\" + tstring(maxOrdinaryPathLength - 4, L'x');
    EXPECT_EQ(fits, ordinaryForm(L"\\\\?\\" + fits));
    // What the ordinary form would name otherwise, or cannot name.
    for (const tstring& kept :
         {L"\\\\?\\" + fits + L"x", tstring(L"\\\\?\\C:\\Temp.\\main.msi"), tstring(L"\\\\?\\C:\\Temp \\main.msi"),
          tstring(L"\\\\?\\C:\\a\\..\\main.msi"), tstring(L"\\\\?\\C:\\a\\.\\main.msi"), tstring(L"\\\\?\\C:\\a\\\\main.msi"),
          tstring(L"\\\\?\\C:\\a/b\\main.msi"), tstring(L"\\\\?\\Volume{0a1b}\\main.msi"), tstring(L"\\\\.\\C:\\main.msi"),
          tstring(L"\\\\?\\C:main.msi"), tstring(L"C:\\Temp\\main.msi"), tstring(L"main.msi")}) {
        EXPECT_EQ(kept, ordinaryForm(kept));
    }
}

// MAX_PATH counts the terminator: a path of 259 characters is the longest
// the ordinary form takes, one of exactly 260 needs the long form.
TEST(PathUtilsTest, TheLongFormStartsAt260Characters) {
    const tstring longest = L"C:\\" + tstring(maxOrdinaryPathLength - 4, L'x');
    ASSERT_EQ(259u, longest.size());
    EXPECT_FALSE(needsVerbatimForm(longest));
    EXPECT_TRUE(needsVerbatimForm(longest + L"x"));
    EXPECT_TRUE(needsVerbatimForm(longest + L"xx"));
    EXPECT_FALSE(needsVerbatimForm(L"\\\\?\\" + longest + L"x"));
    EXPECT_FALSE(needsVerbatimForm(L"main.msi"));
}

// And back: every ordinary absolute path, of any length, has its verbatim
// form; what has none stays as it is.
TEST(PathUtilsTest, VerbatimFormOfAbsolutePaths) {
    const tstring deep = L"C:\\" + tstring(150, L'd') + L"\\" + tstring(150, L'e') + L"\\main.msi";
    EXPECT_EQ(L"\\\\?\\" + deep, verbatimForm(deep));
    EXPECT_EQ(L"\\\\?\\UNC\\server\\share\\main.msi", verbatimForm(L"\\\\server\\share\\main.msi"));
    for (const tstring& kept : {tstring(L"\\\\?\\C:\\main.msi"), tstring(L"\\\\.\\pipe\\x"), tstring(L"C:main.msi"),
                                tstring(L"main.msi"), tstring(L"\\main.msi")}) {
        EXPECT_EQ(kept, verbatimForm(kept));
    }
}

TEST(PathUtilsTest, LeafNameIsTheTextAfterTheLastSeparator) {
    EXPECT_EQ(L"main.msi", leafName(L"C:\\tmp\\123.tmp\\main.msi"));
    EXPECT_EQ(L"setup.exe", leafName(L"C:/Downloads/setup.exe"));
    EXPECT_EQ(L"setup.exe", leafName(L"setup.exe"));
    EXPECT_EQ(L"", leafName(L"C:\\tmp\\"));
}

TEST(PathUtilsTest, JoinPutsExactlyOneBackslashBetween) {
    EXPECT_EQ(L"C:\\dir\\name", joinPath(L"C:\\dir\\\\", L"\\name"));
    EXPECT_EQ(L"C:/dir\\name", joinPath(L"C:/dir//", L"name"));
    EXPECT_EQ(L"C:\\dir\\\\name", joinPath(L"C:\\dir", L"\\\\name"));
    EXPECT_EQ(L"\\name", joinPath(L"", L"\\name"));
    EXPECT_EQ(L"C:\\dir\\", joinPath(L"C:\\dir\\", L""));
}

TEST(PathUtilsTest, StripRemovesEveryTrailingSeparator) {
    EXPECT_EQ(L"C:\\Windows\\system32", stripTrailingSeparators(L"C:\\Windows\\system32\\/\\"));
    EXPECT_EQ(L"", stripTrailingSeparators(L"\\\\"));
    EXPECT_EQ(L"", stripTrailingSeparators(L""));
}

TEST(PathUtilsTest, ReplaceSuffixSwapsOrAppends) {
    EXPECT_EQ(L"C:\\d\\main.log", replacePathSuffix(L"C:\\d\\main.msi", L".log"));
    EXPECT_EQ(L"C:\\d\\main.log", replacePathSuffix(L"C:\\d\\main", L".log"));
    EXPECT_EQ(L"vkt", replacePathSuffix(L"vkt.tmp", L""));
    EXPECT_EQ(L"C:\\d.x\\main.log", replacePathSuffix(L"C:\\d.x\\main", L".log"));
}

TEST(PathUtilsTest, IllegalCharactersAreControlsAndReservedPunctuation) {
    ASSERT_EQ(41u, illegalFileNameCharacters.size());
    EXPECT_EQ(L'\0', illegalFileNameCharacters[0]);
    EXPECT_EQ(L"<>:\"|?*/\\", illegalFileNameCharacters.substr(32));
}

TEST(PathUtilsTest, BuilderJoinsComponentsInTurn) {
    PathBuilder builder;
    builder << L"C:\\Temp\\" << L"123.tmp" << L"main.msi";
    EXPECT_EQ(L"C:\\Temp\\123.tmp\\main.msi", builder.path());
    EXPECT_EQ(L"", PathBuilder().path());
}

} // namespace
