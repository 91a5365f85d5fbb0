#include "Guid.h"
#include "ErrorHandling.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

const tstring canonical = L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}";

class GuidFormsTest : public testing::TestWithParam<const wchar_t*> {};

TEST_P(GuidFormsTest, EveryAcceptedFormGivesTheSameValue) {
    EXPECT_EQ(canonical, Guid(tstring(GetParam())).toString()) << tstrings::toUtf8(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Forms, GuidFormsTest,
                         testing::Values(L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}",
                                         L"{6f1c0e0a-5b1d-4c7e-9e59-2a8d3b7c4e10}",
                                         L"6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10",
                                         L"6F1C0E0A5B1D4C7E9E592A8D3B7C4E10",
                                         L"{6F1C0E0A5B1D4C7E9E592A8D3B7C4E10}"));

TEST(GuidTest, NarrowTextIsTakenByteForByte) {
    EXPECT_EQ(canonical, Guid(std::string("{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}")).toString());
}

// A form the normaliser does not know reaches the platform as it was given
// (an opening brace and 32 digits is not repaired), and the platform's
// refusal names it.
TEST(GuidTest, RejectedFormsNameTheTextThePlatformRefused) {
    for (const tstring& text : {tstring(L"{6F1C0E0A5B1D4C7E9E592A8D3B7C4E10"), tstring(L"6F1C0E0A"),
                               tstring(L""), tstring(L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E1X}")}) {
        const auto error = thrown<VkError<std::runtime_error>>([&] { Guid{text}; });
        ASSERT_TRUE(error) << "accepted " << tstrings::toUtf8(text);
        EXPECT_EQ("IIDFromString(" + tstrings::toUtf8(text) + ") failed",
                  std::string(error->originalMessage()));
        EXPECT_TRUE(contains(error->what(), "initGuid(): "));
    }
}

TEST(GuidTest, ToStringOptions) {
    const Guid guid(tstring(L"{6f1c0e0a-5b1d-4c7e-9e59-2a8d3b7c4e10}"));
    EXPECT_EQ(L"6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10", guid.toString(Guid::StripBraces));
    EXPECT_EQ(L"6F1C0E0A5B1D4C7E9E592A8D3B7C4E10",
              guid.toString(Guid::StripBraces | Guid::StripDashes));
    EXPECT_EQ(L"6f1c0e0a5b1d4c7e9e592a8d3b7c4e10",
              guid.toString(Guid::StripBraces | Guid::StripDashes | Guid::LowerCase));
    EXPECT_EQ(L"{6f1c0e0a-5b1d-4c7e-9e59-2a8d3b7c4e10}", guid.toString(Guid::LowerCase));
    EXPECT_EQ(L"{00000000-0000-0000-0000-000000000000}", Guid().toString());
}

TEST(GuidTest, GeneratedValuesDifferAndOrderByText) {
    const Guid a = Guid::generate();
    const Guid b = Guid::generate();
    EXPECT_NE(a, b);
    EXPECT_EQ(a, Guid(a.toString()));
    EXPECT_EQ(a.toString() < b.toString(), a < b);
    EXPECT_TRUE(Guid() < a || Guid() == a);
}

} // namespace
