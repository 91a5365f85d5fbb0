#include "CommandLine.h"
#include "PathUtils.h"
#include "TestSupport.h"
#include "WinErrorHandling.h"
#include "WinFileUtils.h"
#include "UniqueHandles.h"
#include "WinSysInfo.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>

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
    const ChildResult child =
        runChild(self, L"--gtest_filter=WinSysInfoChild.ReportsItsArguments \"a b\" "
                       L"\"\" c\\\"d \"Gr\u00FC\u00DFe\" e\\\\f",
                 {{argsReportVariable, report}});
    ASSERT_EQ(0u, child.exitCode) << child.output;
    EXPECT_EQ("7,6\n--gtest_filter=WinSysInfoChild.ReportsItsArguments\na b\n\nc\"d\n"
              "Gr\xC3\xBC\xC3\x9F" "e\ne\\\\f\n",
              readFile(report));
}

// Our reading of a command line against the system's own: awkward program
// names, then thousands of generated lines.
TEST(WinSysInfoTest, CommandLineReadingAgreesWithTheSystem) {
    std::vector<tstring> lines{L"setup.exe",           L"\"C:\\My Files\\setup.exe\"",
                               L"\"C:\\My Files\\setup.exe\" /qn", L"\"a b\"c d",
                               L"a\"b c\" d",          L"setup.exe\t\t/qn\t",
                               L"\"\" x",              L"\"unclosed name",
                               L"C:\\dir\\\" x"};
    std::mt19937 random(20261208);
    const tstring alphabet = L"ab \t\"\\\u00FC\u6587";
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<size_t> length(1, 24);
    for (int i = 0; i < 4000; ++i) {
        tstring line = (i % 2) ? L"\"p q\" " : L"p ";
        for (size_t n = length(random); n > 0; --n) {
            line += alphabet[pick(random)];
        }
        lines.push_back(line);
    }
    for (const tstring& line : lines) {
        int count = 0;
        const std::unique_ptr<LPWSTR, LocalFreeDeleter> system(
            ::CommandLineToArgvW(line.c_str(), &count));
        ASSERT_TRUE(system) << tstrings::toUtf8(line);
        const tstring_array expected(system.get() + 1, system.get() + count);
        EXPECT_EQ(tstring(system.get()[0]), CommandLine::programName(line)) << tstrings::toUtf8(line);
        EXPECT_EQ(expected, CommandLine::splitArguments(line)) << tstrings::toUtf8(line);
        EXPECT_EQ(expected, CommandLine::splitArguments(L"x " + CommandLine::argumentsText(line)))
            << tstrings::toUtf8(line);
    }
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
    EXPECT_TRUE(startsWith(failureOf<VkError<SysError>>([&] { SysInfo::getEnvVariable(name); }),
                           "GetEnvironmentVariable(VELKIN_TEST_SURELY_UNSET) failed. "
                           "Variable not set. System error [203]"));
}

TEST(WinSysInfoTest, SystemPathsHaveNoTrailingOrDoubledSeparators) {
    const tstring system = SysInfo::getSystemDir();
    EXPECT_TRUE(FileUtils::isDirectory(system));
    EXPECT_NE(L'\\', system.back());

    const tstring msiexec = SysInfo::getMsiexecPath();
    EXPECT_EQ(system + L"\\msiexec.exe", msiexec);
    EXPECT_FALSE(contains(msiexec, L"\\\\"));
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

// GetTempPathW reads TMP first, then TEMP; where it gives up (a directory
// longer than the classic limit) the same order holds.
TEST(WinSysInfoTest, TempDirectoryComesFromTmpBeforeTemp) {
    TestDirectory dir;
    for (const size_t length : {20u, 300u}) {
        const tstring tmp = dir / (L"tmp" + tstring(length, L't'));
        const tstring temp = dir / (L"temp" + tstring(length, L'e'));
        const ScopedEnvironment environment({{L"TMP", tmp + L"\\"}, {L"TEMP", temp}});
        EXPECT_EQ(tmp, SysInfo::getTempDir()) << length;
        const ScopedEnvironment tempOnly({{tstring(L"TMP"), tstring()}});
        EXPECT_EQ(temp, SysInfo::getTempDir()) << length;
    }
}

} // namespace
