#include "PathUtils.h"
#include "TestSupport.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

const wchar_t* const argsReportVariable = L"VELKIN_TEST_ARGS_REPORT";

// Runs as the child of CommandLineArgumentsKeepTheSystemsSplitting: writes
// the arguments it got, one per line, where the parent said.
TEST(WinSysInfoChild, ReportsItsArguments) {
    const tstring report = SysInfo::getEnvVariable(std::nothrow, argsReportVariable, L"");
    ASSERT_FALSE(report.empty()) << "run only as the child of another test";
    std::ofstream out(report.c_str(), std::ios::binary);
    const tstring_array all = SysInfo::getCommandArgs(SysInfo::KeepProgramPath);
    const tstring_array dropped = SysInfo::getCommandArgs(SysInfo::DropProgramPath);
    out << all.size() << "," << dropped.size() << "\n";
    for (const tstring& arg : dropped) {
        out << tstrings::toUtf8(arg) << "\n";
    }
}

TEST(WinSysInfoTest, CommandLineArgumentsKeepTheSystemsSplitting) {
    TestDirectory dir;
    const tstring report = dir / L"args.txt";
    const tstring self = siblingProgram(L"velkin-windows-tests.exe");
    const ChildResult child = runChild(
        quoted(self) + L" --gtest_filter=WinSysInfoChild.ReportsItsArguments \"a b\" "
                       L"\"\" c\\\"d \"Gr\u00FC\u00DFe\" e\\\\f",
        {{argsReportVariable, report}});
    ASSERT_EQ(0u, child.exitCode) << child.output;
    EXPECT_EQ("7,6\n--gtest_filter=WinSysInfoChild.ReportsItsArguments\na b\n\nc\"d\n"
              "Gr\xC3\xBC\xC3\x9F" "e\ne\\\\f\n",
              readFile(report));
}

TEST(WinSysInfoTest, EnvironmentValuesOfEveryLength) {
    for (const size_t length : {0u, 1u, 9u, 10u, 11u, 300u}) {
        const tstring name = L"VELKIN_TEST_LEN_" + std::to_wstring(length);
        const tstring value(length, L'v');
        SysInfo::setEnvVariable(name, value);
        EXPECT_EQ(value, SysInfo::getEnvVariable(name)) << length;
        EXPECT_EQ(value, SysInfo::getEnvVariable(std::nothrow, name, L"default")) << length;
        EXPECT_TRUE(SysInfo::isEnvVariableSet(name)) << length;
    }
}

TEST(WinSysInfoTest, MissingVariableGivesDefaultOrNotSetError) {
    const tstring name = L"VELKIN_TEST_SURELY_UNSET";
    EXPECT_FALSE(SysInfo::isEnvVariableSet(name));
    EXPECT_EQ(L"fallback", SysInfo::getEnvVariable(std::nothrow, name, L"fallback"));
    try {
        SysInfo::getEnvVariable(name);
        FAIL() << "no exception";
    } catch (const VkError<SysError>& e) {
        EXPECT_EQ(0u, std::string(e.originalMessage())
                          .find("GetEnvironmentVariable(VELKIN_TEST_SURELY_UNSET) failed. "
                                "Variable not set. System error [203]"));
    }
}

TEST(WinSysInfoTest, SystemPathsHaveNoTrailingOrDoubledSeparators) {
    const tstring system = SysInfo::getSystemDir();
    EXPECT_TRUE(FileUtils::isDirectory(system));
    EXPECT_NE(L'\\', system.back());

    const tstring msiexec = SysInfo::getMsiexecPath();
    EXPECT_EQ(system + L"\\msiexec.exe", msiexec);
    EXPECT_EQ(tstring::npos, msiexec.find(L"\\\\"));
    EXPECT_TRUE(FileUtils::pathExists(msiexec));

    const tstring temp = SysInfo::getTempDir();
    EXPECT_TRUE(FileUtils::isDirectory(temp));
    EXPECT_FALSE(FileUtils::isPathSeparator(temp.back()));
}

TEST(WinSysInfoTest, ModulePathsNameTheRunningExecutable) {
    const tstring process = SysInfo::getProcessModulePath();
    EXPECT_EQ(L"velkin-windows-tests.exe", FileUtils::leafName(process));
    EXPECT_EQ(process, FileUtils::toAbsolutePath(process));
    EXPECT_EQ(process, SysInfo::getCurrentModulePath());
    EXPECT_NE(nullptr, SysInfo::getCurrentModuleHandle());
}

} // namespace
