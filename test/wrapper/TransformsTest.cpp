#include "TestSupport.h"
#include "Transforms.h"

#include <gtest/gtest.h>

namespace {

struct TransformsCase {
    const wchar_t* arguments;
    tstring_array expected;
};

class RelativeTransformsTest : public testing::TestWithParam<TransformsCase> {};

TEST_P(RelativeTransformsTest, AreThoseMsiexecLooksForFromThePackagesFolder) {
    EXPECT_EQ(GetParam().expected, Transforms::relativeTransforms(GetParam().arguments));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, RelativeTransformsTest,
    testing::Values(
        TransformsCase{L"/qn TRANSFORMS=a.mst", {L"a.mst"}},
        TransformsCase{L"transforms=\"a b.mst;:embedded;@c.mst;sub\\d.mst\" X=1",
                       {L"a b.mst", L"c.mst", L"sub\\d.mst"}},
        TransformsCase{L"TRANSFORMS=@a.mst;;b.mst", {L"a.mst", L"b.mst"}},
        TransformsCase{L"TRANSFORMS=|C:\\x.mst;y.mst", {L"y.mst"}},
        TransformsCase{L"TRANSFORMS=C:\\x.mst;\\\\server\\x.mst;\\x.mst;C:x.mst", {}},
        TransformsCase{L"TRANSFORMS=..\\x.mst;a\\..\\b.mst;./c.mst;.\\d.mst",
                       {L"..\\x.mst", L"a\\..\\b.mst", L"./c.mst", L".\\d.mst"}},
        TransformsCase{L"PROP=TRANSFORMS=a.mst /qn", {}},
        TransformsCase{L"", {}}));

TEST(TransformsTest, PackageGoesAsDeepAsTheTransformsReachAbove) {
    EXPECT_EQ(0u, Transforms::levelsAbove(L"TRANSFORMS=a.mst;.\\b.mst;c\\..\\d.mst /qn"));
    EXPECT_EQ(1u, Transforms::levelsAbove(L"TRANSFORMS=..\\a.mst"));
    EXPECT_EQ(2u, Transforms::levelsAbove(L"TRANSFORMS=x\\..\\..\\..\\a.mst;..\\b.mst"));
    EXPECT_EQ(0u, Transforms::levelsAbove(L"TRANSFORMS=C:\\..\\..\\a.mst;:..\\e"));
    tstring climbs;
    for (size_t level = 0; level < Transforms::maxLevelsAbove; ++level) {
        climbs += L"..\\";
    }
    EXPECT_EQ(Transforms::maxLevelsAbove, Transforms::levelsAbove(L"TRANSFORMS=" + climbs + L"a.mst"));
    EXPECT_EQ("The transform ..\\" + tstrings::toUtf8(climbs) +
                  "a.mst lies 9 folders above the setup's folder, more than 8: name it by its full "
                  "path",
              failureOf([&] { Transforms::levelsAbove(L"TRANSFORMS=b.mst;..\\" + climbs + L"a.mst"); }));
}

// In the "\\?\" form msiexec's join of the package's folder and a relative
// name is taken as it stands.
TEST(TransformsTest, NamesThatALiteralPackageFolderCannotResolveAreRefused) {
    const tstring literal = L"\\\\?\\C:\\Temp\\velkin-0123456789abcdef.tmp\\p";
    EXPECT_NO_THROW(Transforms::checkReachable(L"TRANSFORMS=a.mst;sub\\b.mst;C:\\x\\..\\c.mst", literal));
    EXPECT_NO_THROW(Transforms::checkReachable(L"TRANSFORMS=..\\a.mst;./b.mst", L"C:\\Temp\\velkin-1.tmp\\p"));
    for (const char* entry : {"..\\t.mst", ".\\t.mst", "sub/t.mst", "@sub\\..\\t.mst"}) {
        const std::string error = failureOf([&] {
            Transforms::checkReachable(L"/qn TRANSFORMS=a.mst;" + tstrings::fromUtf8(entry), literal);
        });
        EXPECT_TRUE(startsWith(error, std::string("The transform ") + (entry[0] == '@' ? entry + 1 : entry) +
                                          " cannot be found by msiexec from " + tstrings::toUtf8(literal) +
                                          ": name it by its full path"));
    }
}

} // namespace
