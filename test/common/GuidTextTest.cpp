#include "GuidText.h"

#include <gtest/gtest.h>

namespace {

const tstring canonical = L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}";

TEST(GuidTextTest, EveryFormWindowsTakesGivesTheBracedUpperCaseText) {
    for (const tstring form : {L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}", L"{6f1c0e0a-5b1d-4c7e-9e59-2a8d3b7c4e10}",
                               L"6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10", L"6F1C0E0A5B1D4C7E9E592A8D3B7C4E10",
                               L"{6F1C0E0A5B1D4C7E9E592A8D3B7C4E10}"}) {
        EXPECT_EQ(canonical, canonicalGuid(form).value_or(L"<none>")) << tstrings::toUtf8(form);
    }
}

TEST(GuidTextTest, AnythingElseIsNoGuid) {
    for (const tstring text : {L"", L"not-a-guid", L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E1}",
                               L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10", L"6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}",
                               L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E1G}", L"{6F1C0E0A+5B1D-4C7E-9E59-2A8D3B7C4E10}",
                               L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}x", L"6F1C0E0A5B1D4C7E9E592A8D3B7C4E1"}) {
        EXPECT_FALSE(canonicalGuid(text)) << tstrings::toUtf8(text);
    }
}

} // namespace
