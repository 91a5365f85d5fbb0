#include "NativeText.h"

#include <gtest/gtest.h>

namespace {

TEST(NativeTextTest, Utf8BecomesCodePoints) {
    EXPECT_EQ(tstring(L"Gr\u00FC\u00DFe \u20AC ") + static_cast<wchar_t>(0x1F600),
              fromNative("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80"));
}

// A file name of any bytes comes back unchanged: invalid sequences, overlong
// forms, encoded surrogates, stray continuation bytes, a sequence cut short.
TEST(NativeTextTest, AnyBytesGoBackUnchanged) {
    for (const std::string& bytes : {std::string("plain"), std::string("\xFF\xFE"), std::string("\xC0\xAF"),
                                    std::string("\xED\xA0\x80"), std::string("a\x80z"), std::string("\xE2\x82"),
                                    std::string("\xF4\x90\x80\x80"), std::string("ok \xC3\xBC end\xC3")}) {
        EXPECT_EQ(bytes, toNative(fromNative(bytes)));
    }
    EXPECT_EQ(static_cast<wchar_t>(0xDCFF), fromNative("\xFF")[0]);
}

} // namespace
