#include "ContentsReport.h"
#include "LanguageTags.h"
#include "VisibleText.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(ContentsReportTest, ControlCharactersAreShownAsEscapes) {
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"Gr\xC3\xBC\xC3\x9F" "e C:\\App \"x\"", "Gr\xC3\xBC\xC3\x9F" "e C:\\App \"x\""},
        {"a\nb\rc\td", "a\\x0Ab\\x0Dc\\x09d"},
        {"\x1B[2J\x7F", "\\x1B[2J\\x7F"},
        // C1 controls (CSI), line separator, right-to-left override.
        {"\xC2\x9B" "2J \xE2\x80\xA8 \xE2\x80\xAE" "exe.txt", "\\u009B2J \\u2028 \\u202Eexe.txt"},
        // The isolates reorder what follows as the overrides do.
        {"\xE2\x81\xA6" "a \xE2\x81\xA7" "b \xE2\x81\xA8" "c \xE2\x81\xA9", "\\u2066a \\u2067b \\u2068c \\u2069"},
        {"cut \xFF", "cut \\xFF"},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(shown, visibleText(text));
    }
}

// A package's strings cannot clear the screen or forge a line of the report.
TEST(ContentsReportTest, PackageStringsStayOnTheirLine) {
    FileContents contents;
    contents.isSetup = true;
    contents.package.productCode = L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}";
    contents.package.productName = L"\x1B[2J\nKind:                   forged";
    contents.package.manufacturer = L"Velkin\r";
    contents.embeddedProductCode = L"{6F1C0E0A\n";
    const std::string report = textReport(contents);
    EXPECT_EQ(14, std::count(report.begin(), report.end(), '\n')) << report;
    EXPECT_EQ(std::string::npos, report.find('\x1B'));
    EXPECT_NE(std::string::npos, report.find("\nProductName:            \\x1B[2J\\x0AKind:"));
    EXPECT_NE(std::string::npos, report.find("\nManufacturer:           Velkin\\x0D\n"));
    EXPECT_NE(std::string::npos, report.find("\nEmbedded product code:  {6F1C0E0A\\x0A (DIFFERS"));
}

TEST(ContentsReportTest, LanguagesAreListedBaseFirstWithTheirTags) {
    FileContents contents;
    contents.package.productCode = L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}";
    contents.languages = {1033, 3079, 1, 4100};
    const std::string text = textReport(contents);
    EXPECT_NE(std::string::npos, text.find("\nLanguages:              1033 (en-US), 3079 (de-AT), 1 (?), 4100 (zh-SG)\n"))
        << text;
    const std::string json = jsonReport(contents);
    EXPECT_NE(std::string::npos, json.find("\"languages\": [1033, 3079, 1, 4100],")) << json;
    EXPECT_NE(std::string::npos, json.find("\"languageTags\": [\"en-US\", \"de-AT\", null, \"zh-SG\"],")) << json;
    contents.languages.clear();
    EXPECT_NE(std::string::npos, textReport(contents).find("\nLanguages:              (none)\n"));
    EXPECT_NE(std::string::npos, jsonReport(contents).find("\"languages\": [],"));
}

TEST(LanguageTagsTest, TemplateListsNumbersAfterThePlatform) {
    EXPECT_EQ((std::vector<uint32_t>{1033, 1031, 1036}), templateLanguages("Intel;1033,1031,1036"));
    EXPECT_EQ((std::vector<uint32_t>{0}), templateLanguages("x64;0"));
    for (const char* none : {"Intel", "Intel;", "Intel;1033,", "Intel;1033,,1031", "Intel; 1033", "Intel;123456",
                             "Intel;10x3"}) {
        EXPECT_TRUE(templateLanguages(none).empty()) << none;
    }
    EXPECT_EQ("de-DE", languageTag(1031).value_or(""));
    EXPECT_EQ("zh-TW", languageTag(0x0404).value_or(""));
    EXPECT_FALSE(languageTag(0x0407 | 0x10000));
    EXPECT_FALSE(languageTag(0));
}

} // namespace
