#include "Guid.h"
#include "MsiActions.h"
#include "MsiApi.h"
#include "MsiDb.h"
#include "MsiUtils.h"
#include "RecordingLogAppender.h"
#include "TestSupport.h"
#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

namespace {

const Guid queryProduct(tstring(L"{2C9B4E61-7A3D-4F08-B1E2-6D5C4B3A2918}"));
const Guid unknownProduct(tstring(L"{00000000-1111-2222-3333-444444444444}"));

tstring msiexec() { return systemProgram(L"msiexec.exe"); }

// The query package, installed once for the tests that read it back.
class InstalledProductTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const ChildResult result =
            runChild(msiexec(), L"/i " + quoted(testPackage(L"query.msi")) + L" /qn");
        ASSERT_EQ(0u, result.exitCode) << result.output;
    }

    static void TearDownTestSuite() {
        runChild(msiexec(), L"/x " + queryProduct.toString() + L" /qn");
    }
};

TEST_F(InstalledProductTest, ProductInformationOfAnyLength) {
    // 19 characters fit the first buffer of 20; 20 need a second call.
    EXPECT_EQ(L"Velkin Query Test 1", msi::getProductInfo(queryProduct, L"InstalledProductName"));
    EXPECT_EQ(L"Velkin Test Makers 2", msi::getProductInfo(queryProduct, L"Publisher"));
    EXPECT_EQ(L"2.3.4", msi::getProductInfo(queryProduct, L"VersionString"));
    EXPECT_TRUE(msi::isProductInstalled(queryProduct));
}

TEST_F(InstalledProductTest, CachedPackageOfTheInstalledProduct) {
    const msi::Database db(queryProduct);
    EXPECT_EQ(L"Velkin Query Test 1", db.getProperty(L"ProductName"));
    EXPECT_EQ(queryProduct.toString(), db.getProperty(L"ProductCode"));
}

// The child side of the test below: a copy of this test executable with an
// msi.dll planted beside it, where a load by bare name looks first.
TEST(MsiApiChild, InstallerLibraryComesFromTheSystemDirectory) {
    msi::api();
    wchar_t loaded[MAX_PATH] = {};
    ::GetModuleFileNameW(::GetModuleHandleW(L"msi.dll"), loaded, MAX_PATH);
    EXPECT_TRUE(tstrings::equals(systemProgram(L"msi.dll"), loaded, tstrings::IgnoreCase))
        << tstrings::toUtf8(loaded);
}

// Any program of ours binds the installer library so, not only the setup,
// whose process-wide search restriction would hide a load by bare name.
TEST(MsiApiTest, PlantedInstallerLibraryIsNeverLoaded) {
    TestDirectory dir;
    const tstring program =
        dir.copy(siblingProgram(L"velkin-windows-tests.exe"), L"velkin-windows-tests.exe");
    const tstring mark = plantInstallerLibrary(dir.path());
    const ChildResult child = runChild(program, L"--gtest_filter=MsiApiChild.*");
    EXPECT_EQ(0u, child.exitCode) << child.output;
    EXPECT_TRUE(contains(child.output, "[  PASSED  ] 1 test."));
    EXPECT_FALSE(exists(mark));
}

TEST(MsiUtilsTest, UnknownProductIsNotInstalledAndItsInformationFails) {
    EXPECT_FALSE(msi::isProductInstalled(unknownProduct));
    EXPECT_EQ(L"", msi::getProductInfo(std::nothrow, unknownProduct, L"VersionString"));
    const auto error =
        thrown<VkError<msi::Error>>([] { msi::getProductInfo(unknownProduct, L"VersionString"); });
    ASSERT_TRUE(error);
    EXPECT_EQ(1605u, error->getStatus());
    // Wine's message library has no texts: the system's message table
    // describes the installer's codes too.
    const tstring description = systemErrorDescription(1605);
    EXPECT_NE(L"No description available", description);
    EXPECT_EQ("MsiGetProductInfo({00000000-1111-2222-3333-444444444444}, VersionString) "
              "failed. MSI error [1605](" + tstrings::toUtf8(description) + ")",
              std::string(error->originalMessage()));
}

TEST(MsiUtilsTest, FailedHandleReadWritesTheArguments) {
    EXPECT_TRUE(startsWith(failureOf<VkError<msi::Error>>([] { msi::getInstallerProperty(0, L"ProductName"); }),
                           "MsiGetProperty(0, ProductName) failed. MSI error ["));
    EXPECT_EQ(L"", msi::getInstallerProperty(std::nothrow, 0, L"ProductName"));
}

TEST(MsiUtilsTest, ErrorTextCarriesStatusAndInstallerDescription) {
    const msi::NoMoreItemsError error(tstrings::TextBuilder("MsiViewFetch(7) failed"));
    EXPECT_EQ(259u, error.getStatus());
    EXPECT_EQ("MsiViewFetch(7) failed. MSI error [259](" +
                  tstrings::toUtf8(systemErrorDescription(259)) + ")",
              std::string(error.what()));
}

TEST(MsiUtilsTest, WaitWithNothingRunningReturnsAtOnce) {
    RecordingLogAppender log;
    EXPECT_TRUE(msi::waitForInstallationCompletion(0));
    EXPECT_TRUE(msi::waitForInstallationCompletion(5000));
    EXPECT_TRUE(log.records.empty());
}

TEST(MsiUtilsTest, ClosingNoHandleDoesNothingAndABadOneIsOnlyLogged) {
    RecordingLogAppender log;
    msi::closeMSIHANDLE(0);
    EXPECT_TRUE(log.records.empty());
    msi::closeMSIHANDLE(123456);
    const auto warnings = log.messages(LogLevel::Warning);
    ASSERT_EQ(1u, warnings.size());
    EXPECT_TRUE(startsWith(warnings[0], L"MsiCloseHandle(123456) failed with error="));
}

TEST(MsiActionsTest, CommandLineOfTheDefaults) {
    EXPECT_EQ(L"REBOOT=ReallySuppress", msi::ActionData().buildCommandLine());
    msi::ActionData blank;
    blank.extraArgs = L" \t ";
    EXPECT_EQ(L"REBOOT=ReallySuppress", blank.buildCommandLine());
}

TEST(MsiActionsTest, CommandLineQuotesValuesAndOrdersNames) {
    msi::ActionData data;
    data.setProperty(L"ZED", L"last").setProperty(L"EMPTY", L"").setProperty(L"TABBED", L"a\tb")
        .setProperty(L"QUOTE", L"say \"hi\"").setProperty(L"REBOOT", L"Force")
        .setProperty(L"alpha", L"lower-case names sort after upper-case");
    data.extraArgs = L"  /extra ";
    EXPECT_EQ(L"/extra EMPTY=\"\" QUOTE=\"say \"\"hi\"\"\" REBOOT=Force TABBED=\"a\tb\" ZED=last "
              L"alpha=\"lower-case names sort after upper-case\"",
              data.buildCommandLine());
    data.props.clear();
    EXPECT_EQ(L"/extra", data.buildCommandLine());
}

TEST(MsiActionsTest, StatusTexts) {
    const msi::ActionStatus done = msi::handleMsiStatus(tstrings::TextBuilder("Call(x) "), 0);
    EXPECT_TRUE(done.succeeded());
    EXPECT_EQ("", done.message);
    EXPECT_TRUE(msi::handleMsiStatus(tstrings::TextBuilder("Call(x) "), 3010).succeeded());
    EXPECT_TRUE(msi::handleMsiStatus(tstrings::TextBuilder("Call(x) "), 1641).succeeded());

    const msi::ActionStatus unknown = msi::handleMsiStatus(tstrings::TextBuilder("Call(x) "), 1605);
    EXPECT_FALSE(unknown.succeeded());
    EXPECT_EQ("Call(x) failed [1605]", unknown.message);
    const auto error = thrown<VkError<msi::Error>>([&] { unknown.throwIt(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(1605u, error->getStatus());
    EXPECT_TRUE(startsWith(error->originalMessage(), "Call(x) failed [1605]. MSI error [1605]("));
    EXPECT_TRUE(contains(error->what(), "msi::ActionStatus::throwIt(): "));
}

TEST(MsiActionsTest, FailedRemovalUndoesTheSettings) {
    const auto& api = msi::api();
    api.setInternalUI(INSTALLUILEVEL_BASIC, nullptr);
    msi::ActionData data;
    data.setProductCode(unknownProduct);
    const auto error = thrown<VkError<msi::Error>>([&] { data.uninstall(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(1605u, error->getStatus());
    EXPECT_TRUE(startsWith(error->originalMessage(),
                           "MsiConfigureProductEx({00000000-1111-2222-3333-444444444444}, 65535, "
                           "2, REBOOT=ReallySuppress) failed [1605]"));
    // The level in force before the removal is back.
    EXPECT_EQ(INSTALLUILEVEL_BASIC, api.setInternalUI(INSTALLUILEVEL_DEFAULT, nullptr));
}

} // namespace
