// Removal through the installer API, end to end, and no library planting.
#include "InstallerHarness.h"
#include "TestSupport.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

namespace {

class UninstallFlowTest : public InstallerHarness {
protected:
    void installDemo() {
        ASSERT_EQ(0u, runSetup(L"velkin-setup-demo.exe", L"/qn").exitCode);
        ASSERT_EQ(installStateDefault, productState(demoProductCode));
    }
};

TEST_F(UninstallFlowTest, UninstallRemovesTheProduct) {
    installDemo();
    const ChildResult result = runSetup(L"velkin-setup-demo.exe", L"uninstall");
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ("", result.output);
    EXPECT_EQ(installStateUnknown, productState(demoProductCode));
    EXPECT_FALSE(exists(demoInstallDir() + L"\\readme.txt"));
    EXPECT_FALSE(exists(demoInstallDir() + L"\\data\\config.ini"));
    expectNothingLeftBehind();
}

TEST_F(UninstallFlowTest, RemovingWhatIsNotInstalledFailsWithTheInstallersStatus) {
    const ChildResult quiet = runSetup(L"velkin-setup-demo.exe", L"uninstall");
    EXPECT_EQ(failureExitCode, quiet.exitCode);
    // One message: the plain text, once.
    EXPECT_TRUE(startsWith(quiet.output,
                           "MsiConfigureProductEx({6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}, 65535, 2, "
                           "REBOOT=ReallySuppress) failed [1605]. MSI error [1605]("));
    EXPECT_EQ(quiet.output.find('\n'), quiet.output.size() - 1) << quiet.output;
    EXPECT_FALSE(contains(quiet.output, "No description"));

    const ChildResult debug = runSetup(L"velkin-setup-demo.exe", L"uninstall", L"true");
    EXPECT_EQ(failureExitCode, debug.exitCode);
    EXPECT_TRUE(contains(debug.output, "MSI error [1605]"));
    EXPECT_TRUE(contains(debug.output, "[ERROR]"));
}

TEST_F(UninstallFlowTest, UninstallAnywhereAmongTheArgumentsSelectsRemoval) {
    for (const tstring args : {L"install uninstall", L"uninstall install"}) {
        installDemo();
        EXPECT_EQ(0u, runSetup(L"velkin-setup-demo.exe", args).exitCode) << tstrings::toUtf8(args);
        EXPECT_EQ(installStateUnknown, productState(demoProductCode)) << tstrings::toUtf8(args);
    }
}

TEST_F(UninstallFlowTest, OtherSpellingsGoToMsiexec) {
    // Removal would fail with -1 (the package was never installed); msiexec
    // runs the install instead and refuses it.
    for (const tstring args : {L"/qn Uninstall", L"/qn /uninstall"}) {
        EXPECT_EQ(1603u, runSetup(L"velkin-setup-refused.exe", args).exitCode)
            << tstrings::toUtf8(args);
    }
}

// msiexec reads the line, not the C runtime: a repair whose property value
// holds the word goes to msiexec (which repairs), and the word after a value
// ending in a backslash removes the product.
TEST_F(UninstallFlowTest, RemovalSwitchIsReadAsMsiexecReadsTheLine) {
    const tstring repair = L"/qn REINSTALL=ALL REINSTALLMODE=vomus NOTE=\"the \"\"old\"\" uninstall step\"";
    installDemo();
    {
        const MsiexecStandIn standIn;
        EXPECT_EQ(0u, runSetup(L"velkin-setup-demo.exe", repair).exitCode);
        EXPECT_TRUE(startsWith(recordedCommandLine(), systemProgram(L"msiexec.exe") + L" /i "));
        EXPECT_TRUE(contains(recordedCommandLine(), L"main.msi\" " + repair));
    }
    ASSERT_TRUE(::DeleteFileW((demoInstallDir() + L"\\readme.txt").c_str()));
    EXPECT_EQ(0u, runSetup(L"velkin-setup-demo.exe", repair).exitCode);
    EXPECT_EQ(installStateDefault, productState(demoProductCode));
    EXPECT_TRUE(exists(demoInstallDir() + L"\\readme.txt")) << "msiexec did not repair";
    expectNothingLeftBehind();

    const ChildResult removal = runSetup(L"velkin-setup-demo.exe", L"/qn INSTALLDIR=\"C:\\QA\\\" uninstall");
    EXPECT_EQ(0u, removal.exitCode) << removal.output;
    EXPECT_EQ(installStateUnknown, productState(demoProductCode));
    EXPECT_FALSE(exists(demoInstallDir() + L"\\readme.txt"));
}

// An msi.dll planted next to the setup executable: neither the install nor
// the removal may load it.
TEST_F(UninstallFlowTest, PlantedInstallerLibraryIsNeverLoaded) {
    const tstring setup = work.copy(siblingProgram(L"velkin-setup-demo.exe"), L"Downloads\\setup-demo.exe");
    const tstring mark = plantInstallerLibrary(work / L"Downloads");
    EXPECT_EQ(0u, runSetup(setup, L"/qn").exitCode);
    EXPECT_FALSE(exists(mark)) << "the install loaded the planted msi.dll";
    EXPECT_EQ(installStateDefault, productState(demoProductCode));

    EXPECT_EQ(0u, runSetup(setup, L"uninstall").exitCode);
    EXPECT_FALSE(exists(mark)) << "the removal loaded the planted msi.dll";
    EXPECT_EQ(installStateUnknown, productState(demoProductCode));
}

} // namespace

namespace {

// On a display a failure of a setup shows a box: but not one of its removal,
// which deployment tools run as the silent one.
using MessageBoxTest = DisplayTest;

TEST_F(MessageBoxTest, UninstallNeverWaitsForAClick) {
    // The watch sees a setup's box: the stub, which has no package, fails so.
    ChildProcess stub(siblingProgram(L"velkin-setup.exe"), L"");
    const HWND box = findMessageBox(stub.process(), L"velkin-setup.exe", 30000);
    ASSERT_NE(nullptr, box) << "the watch saw no message box";
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(static_cast<uint32_t>(-1), stub.finish().exitCode);

    // The demo was never installed in this prefix.
    ChildProcess removal(siblingProgram(L"velkin-setup-demo.exe"), L"uninstall");
    const HWND unexpected = findMessageBox(removal.process(), L"velkin-setup-demo.exe", 30000);
    EXPECT_EQ(nullptr, unexpected) << "the removal waits for a click";
    if (unexpected) {
        ::PostMessageW(unexpected, WM_COMMAND, IDOK, 0);
    }
    const ChildResult result = removal.finish();
    EXPECT_EQ(static_cast<uint32_t>(-1), result.exitCode);
    EXPECT_TRUE(contains(result.output, "MSI error [1605]"));
}

} // namespace
