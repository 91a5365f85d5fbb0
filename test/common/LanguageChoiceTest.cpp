#include "LanguageChoice.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace LanguageChoice;
using Languages = std::vector<LanguageId>;

constexpr LanguageId enUS = 0x0409, enGB = 0x0809, deDE = 0x0407, deAT = 0x0C07, deCH = 0x0807,
                     frFR = 0x040C, frCA = 0x0C0C, jaJP = 0x0411, zhCN = 0x0804, zhSG = 0x1004,
                     zhTW = 0x0404, zhHK = 0x0C04, zhMO = 0x1404, ptBR = 0x0416, ptPT = 0x0816;

TEST(LanguageListTest, ReadsTheBaseFirstAndTheRestInOrder) {
    EXPECT_EQ((Languages{1033, 1031, 1036}), parseList("1033,1031,1036"));
    EXPECT_EQ((Languages{1031}), parseList("1031"));
    // The highest sublanguage with a real primary language still is one.
    EXPECT_EQ((Languages{65535, 1}), parseList("65535,1"));
}

struct MalformedList {
    std::string text;
    std::string failure;
};

class MalformedListTest : public testing::TestWithParam<MalformedList> {};

TEST_P(MalformedListTest, IsRefusedSayingWhy) {
    EXPECT_EQ(GetParam().failure, failureOf([] { parseList(GetParam().text); }));
}

INSTANTIATE_TEST_SUITE_P(
    Lists, MalformedListTest,
    testing::Values(
        MalformedList{"", "The list of languages has an empty item (item 1 of \"\")"},
        MalformedList{"1033,,1031", "The list of languages has an empty item (item 2 of \"1033,,1031\")"},
        MalformedList{"1033,", "The list of languages has an empty item (item 2 of \"1033,\")"},
        MalformedList{",1033", "The list of languages has an empty item (item 1 of \",1033\")"},
        MalformedList{"1033, 1031", "The list of languages holds \" 1031\" (item 2), which is no decimal number"},
        MalformedList{"1033,1031\n", "The list of languages holds \"1031\\x0A\" (item 2), which is no decimal number"},
        // A terminator, as a C string would have.
        MalformedList{std::string("1033,1031\0", 10),
                      "The list of languages holds \"1031\\x00\" (item 2), which is no decimal number"},
        MalformedList{"1033,10\xC3\xA9" "31", "The list of languages holds \"10\\xC3\\xA931\" (item 2), which is no decimal number"},
        MalformedList{"0x409", "The list of languages holds \"0x409\" (item 1), which is no decimal number"},
        MalformedList{"1033;1031", "The list of languages holds \"1033;1031\" (item 1), which is no decimal number"},
        MalformedList{"-1033", "The list of languages holds \"-1033\" (item 1), which is no decimal number"},
        // One spelling for each language: a leading zero is not velkin-pack's.
        MalformedList{"01033", "The list of languages holds \"01033\" (item 1), a number with a leading zero"},
        MalformedList{"1033,00", "The list of languages holds \"00\" (item 2), a number with a leading zero"},
        MalformedList{"1033,abcdefghijklmnopqrstuvwxyz",
                      "The list of languages holds \"abcdefghijklmnopqrst...\" (item 2), which is no decimal number"},
        MalformedList{"1033,0", "The list of languages holds 0 (item 2), which is no language ID"},
        // Neutral, the user's and the system's default, the invariant locale.
        MalformedList{"1024", "The list of languages holds 1024 (item 1), which is no language ID"},
        MalformedList{"1033,2048", "The list of languages holds 2048 (item 2), which is no language ID"},
        MalformedList{"127", "The list of languages holds 127 (item 1), which is no language ID"},
        MalformedList{"65536", "The list of languages holds 65536 (item 1), which is no language ID"},
        MalformedList{"1033,99999999999999999999",
                      "The list of languages holds 99999999999999999999 (item 2), which is no language ID"},
        MalformedList{"1033,1031,1033", "The list of languages names 1033 twice (item 3)"},
        MalformedList{"1031,1031", "The list of languages names 1031 twice (item 2)"}));

TEST(LanguageListTest, NamesWhatIsNoLanguage) {
    EXPECT_TRUE(isLanguage(enUS));
    EXPECT_TRUE(isLanguage(zhMO));
    EXPECT_TRUE(isLanguage(0x0001));
    for (const uint32_t value : {0x0000u, 0x0400u, 0x0800u, 0x0C00u, 0x1000u, 0x007Fu, 0x10000u, 0x10409u}) {
        EXPECT_FALSE(isLanguage(value)) << value;
    }
}

struct ChoiceCase {
    const char* name;
    Languages preferred;
    Languages offered;
    LanguageId language;
    Reason reason;
    LanguageId wanted;
    bool base;
};

class ChoiceTest : public testing::TestWithParam<ChoiceCase> {};

TEST_P(ChoiceTest, TakesExactThenPrimaryThenBase) {
    const Choice choice = choose(GetParam().preferred, GetParam().offered);
    EXPECT_EQ(GetParam().language, choice.language);
    EXPECT_EQ(GetParam().reason, choice.reason);
    EXPECT_EQ(GetParam().wanted, choice.wanted);
    EXPECT_EQ(GetParam().base, choice.base);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, ChoiceTest,
    testing::Values(
        ChoiceCase{"Exact", {deDE}, {enUS, deDE, frFR}, deDE, Reason::Exact, deDE, false},
        ChoiceCase{"BaseExactly", {enUS}, {enUS, deDE, frFR}, enUS, Reason::Exact, enUS, true},
        ChoiceCase{"FirstPreferredWins", {frFR, deDE}, {enUS, deDE, frFR}, frFR, Reason::Exact, frFR, false},
        // A later exact match goes before an earlier primary one.
        ChoiceCase{"ExactBeforePrimary", {deAT, frFR}, {enUS, deDE, frFR}, frFR, Reason::Exact, frFR, false},
        ChoiceCase{"Primary", {deAT}, {enUS, deDE, frFR}, deDE, Reason::Primary, deAT, false},
        ChoiceCase{"PrimaryFirstVariantOffered", {deAT}, {enUS, deCH, deDE}, deCH, Reason::Primary, deAT, false},
        ChoiceCase{"PrimaryInPreferenceOrder", {frCA, deAT}, {enUS, deDE, frFR}, frFR, Reason::Primary, frCA, false},
        ChoiceCase{"PrimaryOfTheBase", {enGB, deAT}, {enUS, deDE}, enUS, Reason::Primary, enGB, true},
        ChoiceCase{"Base", {jaJP}, {enUS, deDE, frFR}, enUS, Reason::Base, 0, true},
        ChoiceCase{"BaseForNone", {}, {enUS, deDE}, enUS, Reason::Base, 0, true},
        ChoiceCase{"BaseOtherThanEnglish", {jaJP, enUS}, {deDE, enGB}, enGB, Reason::Primary, enUS, false},
        ChoiceCase{"Portuguese", {ptPT}, {enUS, ptBR}, ptBR, Reason::Primary, ptPT, false},
        // Simplified and Traditional Chinese: variants within each script only.
        ChoiceCase{"SimplifiedForSimplified", {zhSG}, {enUS, zhTW, zhCN}, zhCN, Reason::Primary, zhSG, false},
        ChoiceCase{"TraditionalForTraditional", {zhHK}, {enUS, zhCN, zhTW}, zhTW, Reason::Primary, zhHK, false},
        ChoiceCase{"MacaoTakesTaiwan", {zhMO}, {enUS, zhCN, zhTW}, zhTW, Reason::Primary, zhMO, false},
        ChoiceCase{"NoTraditionalForSimplified", {zhCN}, {enUS, zhTW, zhHK}, enUS, Reason::Base, 0, true},
        ChoiceCase{"NoSimplifiedForTraditional", {zhTW}, {enUS, zhCN, zhSG}, enUS, Reason::Base, 0, true},
        ChoiceCase{"NextLanguageAfterChinese", {zhTW, deAT}, {enUS, zhCN, deDE}, deDE, Reason::Primary, deAT, false},
        ChoiceCase{"ChineseExact", {zhSG, zhTW}, {enUS, zhCN, zhTW}, zhTW, Reason::Exact, zhTW, false}),
    [](const testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

TEST(LanguageChoiceTest, DescribesForTheLog) {
    EXPECT_EQ(L"1031 (0x0407)", describe(deDE));
    EXPECT_EQ(L"3079 (0x0C07), 1 (0x0001), 65535 (0xFFFF)", describe(Languages{deAT, 1, 0xFFFF}));
    EXPECT_EQ(L"none", describe(Languages{}));
    EXPECT_EQ(L"an exact match for 1036 (0x040C)", describe(Choice{frFR, Reason::Exact, frFR, false}));
    EXPECT_EQ(L"the same primary language as 3079 (0x0C07)", describe(Choice{deDE, Reason::Primary, deAT, false}));
    EXPECT_EQ(L"the base language: no match for any of the user's languages",
              describe(Choice{enUS, Reason::Base, 0, true}));
}

TEST(LanguageChoiceTest, NamesTheEmbeddedTransformByItsDecimalLanguage) {
    EXPECT_EQ(L"TRANSFORMS=:1031", transformsProperty(deDE));
    EXPECT_EQ(L"TRANSFORMS=:5124", transformsProperty(zhMO));
}

} // namespace
