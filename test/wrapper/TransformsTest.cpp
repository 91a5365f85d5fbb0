#include "Transforms.h"

#include <gtest/gtest.h>

namespace {

struct TransformsCase {
    const wchar_t* arguments;
    tstring_array expected;
};

class RelativeTransformsTest : public testing::TestWithParam<TransformsCase> {};

TEST_P(RelativeTransformsTest, AreThoseMsiexecLooksForBesideThePackage) {
    EXPECT_EQ(GetParam().expected, Transforms::relativeTransforms(GetParam().arguments));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, RelativeTransformsTest,
    testing::Values(
        TransformsCase{L"/qn TRANSFORMS=a.mst", {L"a.mst"}},
        TransformsCase{L"transforms=\"a b.mst;:embedded;@c.mst;sub\\d.mst\" X=1",
                       {L"a b.mst", L"c.mst", L"sub\\d.mst"}},
        TransformsCase{L"TRANSFORMS=@a.mst;;b.mst", {L"a.mst", L"b.mst"}},
        TransformsCase{L"TRANSFORMS=|C:\\x.mst;y.mst", {}},
        TransformsCase{L"TRANSFORMS=C:\\x.mst;\\\\server\\x.mst;\\x.mst;C:x.mst;..\\x.mst;"
                       L"a\\..\\b.mst;a\\\\b.mst;./c.mst",
                       {}},
        TransformsCase{L"PROP=TRANSFORMS=a.mst /qn", {}},
        TransformsCase{L"", {}}));

} // namespace
