// A setup that offers several languages, end to end: the demo setup given a
// list of languages as velkin-pack writes it (by the system's resource
// writer), run in a user's language, and what reaches msiexec.
//
// Wine gives a process the UI language of the LANG it was started with from
// the Linux side, where that locale is generated (scripts/install-deps.sh
// does; otherwise en-US), and a child the same, whatever LANG its Windows
// environment holds. So each locale is a run of its own (ctest's
// setup-language-<locale>), and a test skips in any other.
#include "InstallerHarness.h"
#include "ResourceUpdate.h"
#include "SetupResourceNames.h"
#include "WindowsApi.h"

#include <string>

namespace {

const std::string englishGermanFrench = "1033,1031,1036";

class LanguageFlowTest : public InstallerHarness {
protected:
    void SetUp() override { runsIn(L"de_DE.UTF-8"); }
    void TearDown() override {
        if (!IsSkipped()) {
            InstallerHarness::TearDown();
        }
    }

    void runsIn(const tstring& lang) {
        if (environmentValue(L"LANG") != lang) {
            GTEST_SKIP() << "run by ctest (setup-language-*) with LANG=" << tstrings::toUtf8(lang);
        }
        InstallerHarness::SetUp();
    }

    // A copy of the demo setup that carries `languages` as its list.
    tstring setupOffering(const std::string& languages) const {
        const tstring setup = work.copy(siblingProgram(L"velkin-setup-demo.exe"), L"setup \u00E9.exe");
        ResourceUpdate(setup)
            .put(MAKEINTRESOURCEW(SetupResourceNames::type), L"LANGUAGES", SetupResourceNames::language,
                 languages.data(), languages.size())
            .commit();
        return setup;
    }

    ChildResult runDebug(const tstring& setup, const tstring& args) const {
        return runSetup(setup, args, L"true");
    }

    // What the stand-in for msiexec got after "/i" and the package.
    tstring argumentsAfterPackage() const {
        const tstring recorded = recordedCommandLine();
        const size_t packageEnd = recorded.find(L"\\main.msi\"");
        if (packageEnd == tstring::npos) {
            ADD_FAILURE() << "no package in " << tstrings::toUtf8(recorded);
            return recorded;
        }
        return recorded.substr(packageEnd + 10);
    }
};

struct LocaleCase {
    const char* name;
    const wchar_t* lang;
    const char* userLanguages;
    const wchar_t* added;
    const char* choice;
};

class UsersLanguageTest : public LanguageFlowTest, public testing::WithParamInterface<LocaleCase> {
protected:
    void SetUp() override { runsIn(GetParam().lang); }
};

TEST_P(UsersLanguageTest, ChoosesTheTransformAfterTheArgumentsAsTyped) {
    const MsiexecStandIn standIn;
    const tstring typed = L"/qn INSTALLDIR=\"C:\\Program Files\\Demo\\\" NOTE=\"a \"\"b\"\" c\"";
    const ChildResult result = runDebug(setupOffering(englishGermanFrench), typed);
    ASSERT_EQ(0u, result.exitCode) << result.output;
    EXPECT_TRUE(contains(result.output, std::string("The user's languages: ") + GetParam().userLanguages))
        << "Is the locale " << tstrings::toUtf8(GetParam().lang)
        << " generated (scripts/install-deps.sh)?\n" << result.output;
    EXPECT_TRUE(contains(result.output, "Languages offered: 1033 (0x0409), 1031 (0x0407), 1036 (0x040C) (the first is "
                                        "the base)"))
        << result.output;
    EXPECT_TRUE(contains(result.output, GetParam().choice)) << result.output;
    EXPECT_EQ(L" " + typed + GetParam().added, argumentsAfterPackage());
    expectNothingLeftBehind();
}

INSTANTIATE_TEST_SUITE_P(
    Locales, UsersLanguageTest,
    testing::Values(
        LocaleCase{"German", L"de_DE.UTF-8", "1031 (0x0407)", L" TRANSFORMS=:1031",
                   "Language chosen: 1031 (0x0407), an exact match for 1031 (0x0407); msiexec is given "
                   "TRANSFORMS=:1031"},
        LocaleCase{"AustrianGerman", L"de_AT.UTF-8", "3079 (0x0C07)", L" TRANSFORMS=:1031",
                   "Language chosen: 1031 (0x0407), the same primary language as 3079 (0x0C07); msiexec is "
                   "given TRANSFORMS=:1031"},
        LocaleCase{"French", L"fr_FR.UTF-8", "1036 (0x040C)", L" TRANSFORMS=:1036",
                   "Language chosen: 1036 (0x040C), an exact match for 1036 (0x040C); msiexec is given "
                   "TRANSFORMS=:1036"},
        LocaleCase{"Japanese", L"ja_JP.UTF-8", "1041 (0x0411)", L"",
                   "Language chosen: 1033 (0x0409), the base language: no match for any of the user's "
                   "languages; no transform"}),
    [](const testing::TestParamInfo<LocaleCase>& info) { return std::string(info.param.name); });

TEST_F(LanguageFlowTest, WithoutArgumentsTheTransformIsAllThatFollowsThePackage) {
    const MsiexecStandIn standIn;
    ASSERT_EQ(0u, runDebug(setupOffering(englishGermanFrench), L"").exitCode);
    EXPECT_EQ(L" TRANSFORMS=:1031", argumentsAfterPackage());
}

// The user's choice wins, in any spelling msiexec reads as TRANSFORMS, with a
// relative transform of the user's staged as always.
TEST_F(LanguageFlowTest, TransformsGivenByHandAreAllThatMsiexecGets) {
    const MsiexecStandIn standIn;
    const tstring setup = setupOffering(englishGermanFrench);
    work.file(L"site.mst", "site");
    // The last one's relative transform is staged beside the package.
    for (const tstring typed : {L"/qn TRANSFORMS=:1036", L"/qn transforms=:1036", L"/qn TRANSFORMS=\"\"",
                                L"TRANSFORMS=:1036;site.mst /qn"}) {
        ::DeleteFileW(record.c_str());
        const ChildResult result = runDebug(setup, typed);
        ASSERT_EQ(0u, result.exitCode) << result.output;
        EXPECT_EQ(L" " + typed, argumentsAfterPackage());
        EXPECT_TRUE(contains(result.output, "No language chosen: the command line sets TRANSFORMS")) << result.output;
        EXPECT_FALSE(contains(result.output, "Language chosen:")) << result.output;
    }
    EXPECT_TRUE(contains(recordedPackageFolder(), "site.mst 4\n"));
    expectNothingLeftBehind();
}

// The installer re-applies the transforms of an installation at every later
// run of the product, and refuses different ones.
TEST_F(LanguageFlowTest, InstalledProductGetsNoTransform) {
    ASSERT_EQ(0u, runSetup(L"velkin-setup-demo.exe", L"/qn").exitCode);
    ASSERT_EQ(installStateDefault, productState(demoProductCode));
    const MsiexecStandIn standIn;
    const ChildResult result = runDebug(setupOffering(englishGermanFrench), L"/qn");
    ASSERT_EQ(0u, result.exitCode) << result.output;
    EXPECT_EQ(L" /qn", argumentsAfterPackage());
    EXPECT_TRUE(contains(result.output, "Language chosen: 1031 (0x0407), an exact match for 1031 (0x0407); not "
                                        "applied: the product is installed"))
        << result.output;
}

// Appended there, the transform would become part of the open value.
TEST_F(LanguageFlowTest, LineEndingInsideQuotesGetsNoTransform) {
    const MsiexecStandIn standIn;
    const tstring typed = L"/qn NOTE=\"open ended";
    const ChildResult result = runDebug(setupOffering(englishGermanFrench), typed);
    ASSERT_EQ(0u, result.exitCode) << result.output;
    EXPECT_EQ(L" " + typed, argumentsAfterPackage());
    EXPECT_TRUE(contains(result.output, "not applied: the command line ends inside quotes")) << result.output;
}

// A setup of one language, or one without a list, runs as it always did: no
// word about languages, nothing added.
TEST_F(LanguageFlowTest, SetupOfOneLanguageIsUnchanged) {
    const MsiexecStandIn standIn;
    for (const tstring& setup : {siblingProgram(L"velkin-setup-demo.exe"), setupOffering("1033")}) {
        ::DeleteFileW(record.c_str());
        const ChildResult result = runDebug(setup, L"/qn P=\"x y\"");
        ASSERT_EQ(0u, result.exitCode) << result.output;
        EXPECT_EQ(L" /qn P=\"x y\"", argumentsAfterPackage());
        for (const char* line : {"Languages offered", "The user's languages", "Language chosen", "No language"}) {
            EXPECT_FALSE(contains(result.output, line)) << result.output;
        }
    }
}

// velkin-pack writes the list: one it cannot have written is a fault of the
// setup, found before msiexec starts or anything is written.
TEST_F(LanguageFlowTest, MalformedListFailsTheSetup) {
    const MsiexecStandIn standIn;
    const tstring setup = setupOffering("1033,,1031");
    const ChildResult result = runDebug(setup, L"/qn");
    EXPECT_EQ(failureExitCode, result.exitCode);
    EXPECT_TRUE(contains(result.output, "The setup " + tstrings::toUtf8(setup) +
                                            " is damaged. The list of languages has an empty item (item 2 of "
                                            "\"1033,,1031\"). Get the setup again"))
        << result.output;
    EXPECT_FALSE(exists(record)) << "msiexec was started";
    EXPECT_EQ(std::vector<tstring>{}, listDirectory(temp));
}

// The transform counts towards the limit of msiexec's command line like
// everything else on it.
TEST_F(LanguageFlowTest, AddedTransformCountsTowardsTheLengthLimit) {
    const MsiexecStandIn standIn;
    const tstring setup = setupOffering(englishGermanFrench);
    const tstring added = L" TRANSFORMS=:1031";
    ASSERT_EQ(0u, runDebug(setup, L"P=x").exitCode);
    ASSERT_EQ(L" P=x" + added, argumentsAfterPackage());
    // All before "P=x": msiexec's path, "/i", the package and a blank.
    const size_t head = recordedCommandLine().size() - 3 - added.size();
    const tstring fits = L"P=" + tstring(32766 - head - 2 - added.size(), L'x');

    ::DeleteFileW(record.c_str());
    EXPECT_EQ(0u, runDebug(setup, fits).exitCode);
    EXPECT_EQ(32766u, recordedCommandLine().size());
    EXPECT_EQ(L" " + fits + added, argumentsAfterPackage());

    ::DeleteFileW(record.c_str());
    const ChildResult refused = runDebug(setup, fits + L"x");
    EXPECT_EQ(failureExitCode, refused.exitCode);
    EXPECT_TRUE(contains(refused.output, "msiexec.exe is too long: 32767 characters, of at most 32766"));
    EXPECT_FALSE(exists(record)) << "msiexec was started";
    EXPECT_EQ(std::vector<tstring>{}, listDirectory(temp));
}

} // namespace
