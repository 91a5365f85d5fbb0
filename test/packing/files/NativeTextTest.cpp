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

// In a message, such a name keeps its bytes (shown as "\xFF" in the end),
// where a file's text would get U+FFFD.
TEST(NativeTextTest, MessagesKeepTheBytesOfANameThatIsNoUtf8) {
    const tstring name = fromNative("bad\xFF\xC3 \xC3\xBC");
    EXPECT_EQ("bad\xFF\xC3 \xC3\xBC", (tstrings::TextBuilder() << name).utf8());
    EXPECT_EQ("bad\xEF\xBF\xBD\xEF\xBF\xBD \xC3\xBC", tstrings::toUtf8(name));
}

// The version record's strings: a character beyond U+FFFF is its surrogate
// pair, from the first such character on; those below stay one unit.
TEST(NativeTextTest, Utf16PairsBeginAtU10000) {
    const struct {
        char32_t point;
        std::u16string units;
    } cases[] = {{0xFFFF, u"\xFFFF"},
                 {0x10000, {char16_t(0xD800), char16_t(0xDC00)}},
                 {0x1F600, {char16_t(0xD83D), char16_t(0xDE00)}},
                 {0x10FFFF, {char16_t(0xDBFF), char16_t(0xDFFF)}}};
    for (const auto& [point, units] : cases) {
        EXPECT_EQ(u"a" + units + u"z", tstrings::toUtf16(L"a" + tstring(1, static_cast<wchar_t>(point)) + L"z"))
            << std::hex << static_cast<uint32_t>(point);
    }
}

} // namespace
