// Faults staged for real around a setup run: what the user gets (exit code,
// message) and what is left on disk.
#include "InstallerHarness.h"
#include "PathUtils.h"
#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <algorithm>
#include <thread>

namespace {

// The temporary directory (too long for the system's own query, missing,
// given in any form), and the setup itself damaged.
class SetupFaultTest : public InstallerHarness {
protected:
    MsiexecStandIn standIn;
};

TEST_F(SetupFaultTest, LongTempHoldsThePackageAndNothingLandsInTheCurrentDirectory) {
    // A name has at most 255 characters; the path is longer than 260.
    const tstring longTemp = work.directory(tstring(150, L'l') + L"\\" + tstring(150, L'm'));
    ASSERT_TRUE(exists(longTemp));
    useTemp(longTemp);
    const tstring current = work.directory(L"current");
    const ChildResult result =
        runChild(siblingProgram(L"velkin-setup-demo.exe"), L"/qn", environment, current);
    ASSERT_EQ(0u, result.exitCode) << result.output;
    EXPECT_TRUE(
        startsWith(recordedCommandLine(), systemProgram(L"msiexec.exe") + L" /i " + longTemp + L"\\"));
    EXPECT_TRUE(listDirectory(current).empty());
    expectNothingLeftBehind();
}

TEST_F(SetupFaultTest, MissingTempFailsAndCreatesNothing) {
    const tstring missing = work / L"no such temp\\deeper";
    useTemp(missing);
    const ChildResult result = runSetup(L"velkin-setup-demo.exe", L"/qn", L"true");
    EXPECT_EQ(failureExitCode, result.exitCode);
    EXPECT_TRUE(
        contains(result.output, "Cannot create a directory in " + tstrings::toUtf8(missing) + ": "));
    EXPECT_TRUE(contains(result.output, "System error [3]"));
    EXPECT_FALSE(exists(work / L"no such temp"));
    EXPECT_FALSE(exists(record)) << "msiexec was started";
}

TEST_F(SetupFaultTest, EveryAbsoluteFormOfTempHoldsThePackage) {
    const tstring plain = temp;
    tstring slashes = plain;
    std::replace(slashes.begin(), slashes.end(), L'\\', L'/');
    // The system resolves slashes and doubled separators itself; msiexec gets
    // the long form's ordinary form, in which it can resolve "..".
    const std::pair<tstring, tstring> forms[] = {
        {L"\\\\?\\" + plain, plain}, {slashes, plain}, {plain + L"\\\\", plain}};
    for (const auto& [form, resolved] : forms) {
        useTemp(form);
        ::DeleteFileW(record.c_str());
        const ChildResult result = runSetup(L"velkin-setup-demo.exe", L"/qn", L"true");
        EXPECT_EQ(0u, result.exitCode) << result.output;
        EXPECT_TRUE(startsWith(recordedCommandLine(),
                               systemProgram(L"msiexec.exe") + L" /i \"" + resolved + L"\\velkin-"));
        EXPECT_EQ(std::vector<tstring>{}, listDirectory(plain)) << tstrings::toUtf8(form);
    }
}

// The system would take it relative to the current directory.
TEST_F(SetupFaultTest, RelativeTempIsRefusedByItsOwnName) {
    const tstring current = work.directory(L"current\\rel");
    for (const tstring relative : {L"rel", L".\\rel", L"\\rel", L"C:rel"}) {
        const ChildResult result = runChild(siblingProgram(L"velkin-setup-demo.exe"), L"/qn",
                                            {{L"TMP", relative}, {L"TEMP", relative}},
                                            FileUtils::parentPath(current));
        EXPECT_EQ(failureExitCode, result.exitCode);
        EXPECT_EQ("The temporary directory " + tstrings::toUtf8(relative) +
                      " is not an absolute path\r\n",
                  result.output);
    }
    EXPECT_EQ(std::vector<tstring>{}, listDirectory(current));
    EXPECT_FALSE(exists(record)) << "msiexec was started";
}

// A download cut short, or a file changed after packing: its package
// resource claims more than the file holds.
TEST_F(SetupFaultTest, DamagedSetupSaysSoAndStartsNothing) {
    const tstring damaged = damagedSetupCopy(siblingProgram(L"velkin-setup-demo.exe"),
                                             work / L"damaged-setup.exe", 100000000);
    const ChildResult result = runSetup(damaged, L"/qn");
    EXPECT_EQ(failureExitCode, result.exitCode);
    EXPECT_EQ("The setup " + tstrings::toUtf8(damaged) +
                  " is damaged: its package is shorter than it claims. Get the setup again\r\n",
              result.output);
    EXPECT_FALSE(exists(record)) << "msiexec was started";
    EXPECT_EQ(std::vector<tstring>{}, listDirectory(temp));
}

// The temporary directory lies on a disk too full for the package
// (disk-full-test.sh makes one and names it in VELKIN_TEST_FULL_TEMP).
class FullDiskTest : public InstallerHarness {
protected:
    void SetUp() override {
        InstallerHarness::SetUp();
        const tstring full = environmentValue(L"VELKIN_TEST_FULL_TEMP");
        if (full.empty()) {
            GTEST_SKIP() << "needs a full disk: run by disk-full-test.sh";
        }
        useTemp(full);
    }
};

TEST_F(FullDiskTest, SaysTheDiskIsFullAndLeavesNothing) {
    const ChildResult result = runSetup(L"velkin-setup-demo.exe", L"/qn");
    EXPECT_EQ(failureExitCode, result.exitCode);
    const std::string expected = "WriteFile(" + tstrings::toUtf8(temp) + "\\";
    EXPECT_TRUE(startsWith(result.output, expected));
    EXPECT_TRUE(contains(result.output, ") failed. System error [112](system error 112 (" +
                                            tstrings::toUtf8(systemErrorDescription(112)) + "))"));
    EXPECT_TRUE(listDirectory(temp).empty());
}

// Another program (a scanner) holds the package open without sharing its
// deletion, from the moment msiexec has it until `holdMilliseconds` later.
class HeldPackageTest : public InstallerHarness {
protected:
    void SetUp() override {
        InstallerHarness::SetUp();
        go = work / L"go";
        environment.emplace_back(L"VELKIN_TEST_GO", go);
    }

    ChildResult runWhileHeld(DWORD holdMilliseconds) {
        std::thread scanner([this, holdMilliseconds] {
            for (int waited = 0; waited < 20000; waited += 5) {
                for (const tstring& name : listDirectory(temp)) {
                    const tstring package = temp + L"\\" + name + L"\\main.msi";
                    const HANDLE file = ::CreateFileW(package.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                      nullptr, OPEN_EXISTING, 0, nullptr);
                    if (file != INVALID_HANDLE_VALUE) {
                        ::CloseHandle(::CreateFileW(go.c_str(), GENERIC_WRITE, 0, nullptr,
                                                    CREATE_NEW, 0, nullptr));
                        ::Sleep(holdMilliseconds);
                        ::CloseHandle(file);
                        return;
                    }
                }
                ::Sleep(5);
            }
        });
        const ChildResult result = runSetup(L"velkin-setup-demo.exe", L"/qn", L"true");
        scanner.join();
        return result;
    }

    MsiexecStandIn standIn;
    tstring go;
};

TEST_F(HeldPackageTest, BrieflyHeldPackageIsStillRemoved) {
    const ChildResult result = runWhileHeld(500);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_FALSE(contains(result.output, "[WARNING]"));
    expectNothingLeftBehind();
}

TEST_F(HeldPackageTest, PackageHeldLongerIsLeftWithAWarning) {
    const ChildResult result = runWhileHeld(6000);
    EXPECT_EQ(0u, result.exitCode) << "the exit code stays msiexec's";
    EXPECT_TRUE(contains(result.output, "[WARNING] DeferredDeleter.cpp:"));
    EXPECT_TRUE(
        contains(result.output, "Could not delete 1 file(s) in " + tstrings::toUtf8(temp) + "\\"));
    EXPECT_TRUE(contains(result.output, "\\main.msi"));
}

} // namespace
