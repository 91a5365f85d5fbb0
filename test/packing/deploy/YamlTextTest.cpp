#include "YamlText.h"

#include <gtest/gtest.h>

namespace {

// What a one-line double-quoted scalar must not hold as it is comes
// escaped; everything YAML prints stays as UTF-8. (The manifest test reads
// whole files back with a YAML parser.)
TEST(YamlTextTest, EscapesWhatALineCannotHold) {
    const struct {
        tstring text;
        std::string yaml;
    } cases[] = {
        {L"", "\"\""},
        {L"key: value # not a comment", "\"key: value # not a comment\""},
        {L"say \"hi\" \\ bye", "\"say \\\"hi\\\" \\\\ bye\""},
        {L"one\ntwo\r\tthree", "\"one\\ntwo\\r\\tthree\""},
        {tstring(1, L'\0') + L"\x1B\x7F", "\"\\x00\\x1B\\x7F\""},
        {L"\x85\x2028\x2029\xFEFF", "\"\\x85\\u2028\\u2029\\uFEFF\""},
        {L"Gr\xFC\xDF" L"e \x65E5\x672C", "\"Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC\""},
        {tstrings::fromUtf8("\xF0\x9F\x93\xA6"), "\"\xF0\x9F\x93\xA6\""},
        {tstring(1, static_cast<wchar_t>(0xDC80)), "\"\xEF\xBF\xBD\""},
        // Noncharacters that YAML parsers (PyYAML) refuse as they are.
        {L"\xFFFE\xFFFF", "\"\\uFFFE\\uFFFF\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.yaml, YamlText::quoted(c.text)) << tstrings::toUtf8(c.text);
    }
}

} // namespace
