// The setup executables end to end: real packages, the real msiexec of the
// Wine prefix, and what a user would see afterwards.
#include "InstallerHarness.h"

namespace {

using InstallFlowTest = InstallerHarness;

TEST_F(InstallFlowTest, QuietInstallPutsTheFilesInPlace) {
    const ChildResult result = runSetup(L"velkin-setup-demo.exe", L"/qn");
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ("", result.output);
    expectNothingLeftBehind();
    EXPECT_EQ(installStateDefault, productState(demoProductCode));
    const tstring installed = demoInstallDir();
    EXPECT_TRUE(exists(installed + L"\\readme.txt"));
    EXPECT_TRUE(exists(installed + L"\\data\\config.ini"));
    EXPECT_EQ("Gr\xC3\xBC\xC3\x9F" "e aus dem Velkin-Demo.\n",
              readFile(installed + L"\\gr\u00FC\u00DFe.txt"));
}

TEST_F(InstallFlowTest, RefusedPackageGivesMsiexecsOwnExitCode) {
    const uint32_t direct = runMsiexec(L"/i " + quoted(package(L"refused.msi")) + L" /qn").exitCode;
    EXPECT_EQ(1603u, direct);
    const ChildResult result = runSetup(L"velkin-setup-refused.exe", L"/qn");
    EXPECT_EQ(direct, result.exitCode);
    EXPECT_EQ("", result.output) << "a failure of msiexec is not ours to report";
    expectNothingLeftBehind();
}

TEST_F(InstallFlowTest, UnknownSwitchGivesMsiexecsOwnExitCode) {
    const uint32_t direct =
        runMsiexec(L"/i " + quoted(package(L"refused.msi")) + L" /qn /velkin-unknown").exitCode;
    const ChildResult result = runSetup(L"velkin-setup-refused.exe", L"/qn /velkin-unknown");
    EXPECT_EQ(direct, result.exitCode);
    EXPECT_EQ("", result.output);
    expectNothingLeftBehind();
}

TEST_F(InstallFlowTest, ArgumentWithBlanksArrivesWhole) {
    const tstring logDir = work.directory(L"log dir with blanks");
    const tstring log = logDir + L"\\install log.txt";
    const ChildResult result =
        runSetup(L"velkin-setup-refused.exe", L"/qn /l*v " + quoted(log));
    EXPECT_EQ(1603u, result.exitCode);
    EXPECT_TRUE(exists(log)) << "msiexec did not get the log path whole";
    EXPECT_EQ(std::vector<tstring>{L"install log.txt"}, listDirectory(logDir));
    expectNothingLeftBehind();
}

TEST_F(InstallFlowTest, SetupWithoutPackageFailsWithExitCodeMinusOne) {
    const ChildResult quiet = runSetup(L"velkin-setup.exe", L"/qn");
    EXPECT_EQ(failureExitCode, quiet.exitCode);
    const ChildResult debug = runSetup(L"velkin-setup.exe", L"/qn", L"true");
    EXPECT_EQ(failureExitCode, debug.exitCode);
    EXPECT_NE(std::string::npos,
              debug.output.find("cannot find resource (name='msi', type='#10')"))
        << debug.output;
    EXPECT_NE(std::string::npos, debug.output.find("[ERROR]")) << debug.output;
    expectNothingLeftBehind();
}

} // namespace
