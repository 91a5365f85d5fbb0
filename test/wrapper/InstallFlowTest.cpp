// The setup executables end to end: real packages, the real msiexec of the
// Wine prefix, and what a user would see afterwards.
#include "PathUtils.h"
#include "TestSupport.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

const wchar_t* const demoProductCode = L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}";
const uint32_t failureExitCode = static_cast<uint32_t>(-1);
const int installStateDefault = 5;

// The installer's own view of a product. msi.dll is loaded only here: linked
// in, it would make every test of this executable pay for loading it.
int productState(const wchar_t* productCode) {
    using Query = int(WINAPI*)(const wchar_t*);
    static const HMODULE msi = ::LoadLibraryW(L"msi.dll");
    // Through void(*)(): the one cast between function types that GCC takes
    // as deliberate.
    static const Query query =
        msi ? reinterpret_cast<Query>(
                  reinterpret_cast<void (*)()>(::GetProcAddress(msi, "MsiQueryProductStateW")))
            : nullptr;
    return query ? query(productCode) : -1000;
}

tstring msiexec() {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    return FileUtils::joinPath(system, L"msiexec.exe");
}

tstring localAppData() {
    wchar_t value[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"LOCALAPPDATA", value, MAX_PATH);
    return value;
}

class InstallFlowTest : public testing::Test {
protected:
    void SetUp() override {
        // A temporary directory whose path has a blank and non-ASCII letters.
        temp = work.directory(L"temp dir \u00E4\u00F6\u00FC");
        removeDemo();
    }

    void TearDown() override { removeDemo(); }

    // Runs a setup executable with the temporary directory above.
    ChildResult runSetup(const tstring& setup, const tstring& args,
                         const tstring& debug = L"") const {
        return runChild(quoted(siblingProgram(setup)) + L" " + args,
                        {{L"TMP", temp}, {L"TEMP", temp}, {L"VELKIN_DEBUG", debug}});
    }

    ChildResult runMsiexec(const tstring& args) const {
        return runChild(quoted(msiexec()) + L" " + args, {{L"TMP", temp}, {L"TEMP", temp}});
    }

    static tstring package(const tstring& name) {
        return siblingProgram(L"..\\packages\\" + name);
    }

    static void removeDemo() {
        if (productState(demoProductCode) == installStateDefault) {
            runChild(quoted(msiexec()) + L" /x " + demoProductCode + L" /qn");
        }
    }

    // Nothing of ours is left: no working directory ("<number>.tmp") and no
    // staging file ("vkt<number>.tmp").
    void expectNothingLeftBehind() const {
        const std::wregex ours(L"(-?[0-9]+|vkt-?[0-9]+)\\.tmp", std::regex::icase);
        for (const tstring& name : listDirectory(temp)) {
            EXPECT_FALSE(std::regex_match(name, ours)) << "left behind: " << tstrings::toUtf8(name);
        }
    }

    TestDirectory work;
    tstring temp;
};

TEST_F(InstallFlowTest, QuietInstallPutsTheFilesInPlace) {
    const ChildResult result = runSetup(L"velkin-setup-demo.exe", L"/qn");
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ("", result.output);
    expectNothingLeftBehind();
    EXPECT_EQ(installStateDefault, productState(demoProductCode));
    const tstring installed = localAppData() + L"\\VelkinDemo";
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
