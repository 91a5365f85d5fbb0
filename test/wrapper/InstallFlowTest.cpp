// The setup executables end to end: real packages, the real msiexec of the
// Wine prefix (or a stand-in that records what it got), and what a user
// would see afterwards.
#include "InstallerHarness.h"
#include "PropertyTransform.h"
#include "StagedFileWriter.h"
#include "UniqueHandles.h"
#include "WindowsApi.h"

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

// The package that msiexec gets is the one inside the setup, byte for byte,
// also where the setup reads it from its own file and writes it in many
// pieces, the last one short.
TEST_F(InstallFlowTest, PackageReachesMsiexecByteForByte) {
    const MsiexecStandIn standIn;
    const tstring setup = siblingProgram(L"velkin-setup-large.exe");
    const tstring kept = work / L"kept.msi";
    Environment keeping = environmentWith(L"VELKIN_TEST_KEEP", kept);
    keeping.emplace_back(L"VELKIN_DEBUG", L"true");
    const ChildResult result = startSetup(setup, L"/qn", keeping)->finish();
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_FALSE(contains(result.output, "Reading the image itself")) << result.output;
    const UniqueLibraryHandle image(::LoadLibraryExW(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(image.get());
    const HRSRC found = ::FindResourceW(image.get(), L"MSI", RT_RCDATA);
    ASSERT_TRUE(found);
    const auto* first = static_cast<const uint8_t*>(::LockResource(::LoadResource(image.get(), found)));
    const std::string inside(reinterpret_cast<const char*>(first), ::SizeofResource(image.get(), found));
    ASSERT_GT(inside.size(), StagedFileWriter::pieceSize);
    ASSERT_NE(0u, inside.size() % StagedFileWriter::pieceSize);
    const std::string received = readFile(kept);
    EXPECT_TRUE(received == inside) << received.size() << " bytes received of " << inside.size();
    expectNothingLeftBehind();
}

// The system's long form of a path (as TEMP may give it) reaches the real
// msiexec, which installs from it.
TEST_F(InstallFlowTest, LongFormTempInstalls) {
    useTemp(L"\\\\?\\" + temp);
    EXPECT_EQ(0u, runSetup(L"velkin-setup-demo.exe", L"/qn").exitCode);
    EXPECT_EQ(installStateDefault, productState(demoProductCode));
    expectNothingLeftBehind();
}

TEST_F(InstallFlowTest, RefusedPackageGivesMsiexecsOwnExitCode) {
    const uint32_t direct = runMsiexec(L"/i " + quoted(testPackage(L"refused.msi")) + L" /qn").exitCode;
    EXPECT_EQ(1603u, direct);
    const ChildResult result = runSetup(L"velkin-setup-refused.exe", L"/qn");
    EXPECT_EQ(direct, result.exitCode);
    EXPECT_EQ("", result.output) << "a failure of msiexec is not ours to report";
    expectNothingLeftBehind();
}

TEST_F(InstallFlowTest, UnknownSwitchGivesMsiexecsOwnExitCode) {
    const uint32_t direct =
        runMsiexec(L"/i " + quoted(testPackage(L"refused.msi")) + L" /qn /velkin-unknown").exitCode;
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
    EXPECT_TRUE(contains(debug.output, "cannot find resource (name='msi', type='#10')"));
    EXPECT_TRUE(contains(debug.output, "[ERROR]"));
    expectNothingLeftBehind();
}

} // namespace

namespace {

struct TailCase {
    const char* name;
    tstring tail;
};

class ArgumentsReachMsiexecTest : public InstallerHarness,
                                  public testing::WithParamInterface<TailCase> {};

// What the setup's msiexec gets after "/i" and the package is exactly the
// text typed after the setup's own name.
TEST_P(ArgumentsReachMsiexecTest, ExactlyAsTyped) {
    const MsiexecStandIn standIn;
    ASSERT_EQ(0u, runSetup(L"velkin-setup-demo.exe", GetParam().tail).exitCode);
    // While msiexec runs, others may read the package, but not change it.
    EXPECT_TRUE(contains(recordedPackageFolder(), "package: read 1, write 0, delete 0\n"));
    const tstring recorded = recordedCommandLine();
    const tstring head = systemProgram(L"msiexec.exe") + L" /i \"" + temp + L"\\";
    ASSERT_TRUE(startsWith(recorded, head));
    const size_t packageEnd = recorded.find(L"\\main.msi\"", head.size());
    ASSERT_NE(tstring::npos, packageEnd) << tstrings::toUtf8(recorded);
    const tstring rest = recorded.substr(packageEnd + 10);
    EXPECT_EQ(GetParam().tail.empty() ? tstring() : L" " + GetParam().tail, rest);
    expectNothingLeftBehind();
}

tstring repeated(const tstring& piece, size_t count) {
    tstring text;
    for (size_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Tails, ArgumentsReachMsiexecTest,
    testing::Values(
        TailCase{"TrailingBackslash", L"/qn PROPA=\"C:\\Program Files\\My App\\\" PROPB=after"},
        TailCase{"LogAfterTrailingBackslash",
                 L"/qn INSTALLDIR=\"C:\\Program Files\\My App\\\" /l*v \"C:\\log dir\\x.log\" PROPA=z"},
        TailCase{"DoubledQuotes", L"PROPA=\"a \"\"quoted\"\" word\""},
        TailCase{"TwoBackslashesBeforeQuote", L"PROPA=\"C:\\dir\\\\\""},
        TailCase{"EmptyValue", L"PROPA=\"\" PROPB=next"},
        TailCase{"Tab", L"/qn\tPROPA=x"},
        TailCase{"NonAscii", L"PROPA=\"Gr\u00FC\u00DFe \u6587\u5B57\""},
        TailCase{"EmptyArgument", L"\"\""},
        TailCase{"BlanksKept", L"/qn   PROPA=1  "},
        TailCase{"Nothing", L""},
        TailCase{"ManyArguments", L"/qn" + repeated(L" P=v", 500)},
        TailCase{"LongArgument", L"PROPA=" + tstring(30000, L'x')}),
    [](const testing::TestParamInfo<TailCase>& info) { return std::string(info.param.name); });

// The private directory's name has one length, so a command line for msiexec
// of exactly the system's limit starts on every run, and one character more
// is refused on every run, whole and never cut.
TEST_F(InstallFlowTest, CommandLineOfExactlyTheLimitStartsAndOneMoreIsRefused) {
    const MsiexecStandIn standIn;
    ASSERT_EQ(0u, runSetup(L"velkin-setup-demo.exe", L"P=x").exitCode);
    // All before "P=x": msiexec's path, "/i", the package and a blank.
    const size_t head = recordedCommandLine().size() - 3;
    for (int run = 0; run < 3; ++run) {
        ::DeleteFileW(record.c_str());
        const tstring tail = L"P=" + tstring(32766 - head - 2, L'x');
        EXPECT_EQ(0u, runSetup(L"velkin-setup-demo.exe", tail).exitCode);
        EXPECT_EQ(32766u, recordedCommandLine().size());

        ::DeleteFileW(record.c_str());
        const ChildResult refused = runSetup(L"velkin-setup-demo.exe", tail + L"x", L"true");
        EXPECT_EQ(failureExitCode, refused.exitCode);
        // (The output holds the whole line: not shown.)
        EXPECT_NE(std::string::npos,
                  refused.output.find("msiexec.exe is too long: 32767 characters, of at most 32766"));
        EXPECT_FALSE(exists(record)) << "msiexec was started";
    }
    EXPECT_EQ(std::vector<tstring>{}, listDirectory(temp));
}

// The length is known before anything is written: with a temporary directory
// that does not exist, a run that got as far as making its directory would
// fail for that instead.
TEST_F(InstallFlowTest, TooLongCommandLineIsRefusedBeforeAnythingIsWritten) {
    const MsiexecStandIn standIn;
    useTemp(work / L"absent");
    const ChildResult refused =
        runSetup(L"velkin-setup-demo.exe", L"P=" + tstring(32766, L'x'), L"true");
    EXPECT_EQ(failureExitCode, refused.exitCode);
    EXPECT_TRUE(contains(refused.output, "msiexec.exe is too long: "));
    EXPECT_FALSE(contains(refused.output, "Cannot create"));
    EXPECT_FALSE(exists(work / L"absent"));
    EXPECT_FALSE(exists(record)) << "msiexec was started";
}

// A transform one level up puts the package one level deeper in the
// private directory: the early refusal counts that level, so a line one
// character over the limit is refused as too long, never found so only once
// the directory is made (which fails here: the temporary directory is
// absent).
TEST_F(InstallFlowTest, TooLongCommandLineWithATransformAboveIsRefusedAsSuch) {
    const MsiexecStandIn standIn;
    const tstring setup = work.copy(siblingProgram(L"velkin-setup-demo.exe"), L"Downloads\\setup.exe");
    work.file(L"Downloads\\t.mst", "a transform");
    // Measured with a temporary directory of the absent one's length.
    useTemp(work.directory(L"exists"));
    ASSERT_EQ(0u, runSetup(setup, L"TRANSFORMS=..\\t.mst P=x").exitCode);
    const size_t head = recordedCommandLine().size() - 3;
    ::DeleteFileW(record.c_str());
    useTemp(work / L"absent");
    const ChildResult refused =
        runSetup(setup, L"TRANSFORMS=..\\t.mst P=" + tstring(32767 - head - 2, L'x'), L"true");
    EXPECT_EQ(failureExitCode, refused.exitCode);
    EXPECT_TRUE(contains(refused.output, "msiexec.exe is too long: 32767 characters, of at most 32766"));
    EXPECT_FALSE(contains(refused.output, "Cannot create"));
    EXPECT_FALSE(exists(record)) << "msiexec was started";
}

// The forms that deployment scripts write, through the real msiexec: the
// properties and the log come out of the setup as out of msiexec itself.
TEST_F(InstallFlowTest, ScriptedPropertiesGiveWhatDirectMsiexecGives) {
    const tstring logDir = work.directory(L"log dir");
    const tstring log = logDir + L"\\x.log";
    struct Form {
        tstring tail;
        tstring expected;
    };
    const Form forms[] = {
        {L"/qn PROPA=\"C:\\Program Files\\My App\\\" PROPB=after",
         L"PROPA=v:C:\\Program Files\\My App\\ PROPB=v:after INSTALLDIR=v: log=0"},
        {L"/qn INSTALLDIR=\"C:\\Program Files\\My App\\\" /l*v " + quoted(log) + L" PROPA=z",
         L"PROPA=v:z PROPB=v: INSTALLDIR=v:C:\\Program Files\\My App\\ log=1"}};
    const auto installedValues = [&] {
        tstring values;
        for (const wchar_t* property : {L"PROPA", L"PROPB", L"INSTALLDIR"}) {
            values += tstring(property) + L"=" + argumentValue(property) + L" ";
        }
        return values + (exists(log) ? L"log=1" : L"log=0");
    };
    for (const Form& form : forms) {
        for (const bool direct : {true, false}) {
            const ChildResult result =
                direct ? runMsiexec(L"/i " + quoted(testPackage(L"args.msi")) + L" " + form.tail)
                       : runSetup(L"velkin-setup-args.exe", form.tail);
            EXPECT_EQ(0u, result.exitCode);
            EXPECT_EQ(tstrings::toUtf8(form.expected), tstrings::toUtf8(installedValues()))
                << (direct ? "direct" : "setup");
            removeTestProducts();
            ::DeleteFileW(log.c_str());
        }
    }
    expectNothingLeftBehind();
}

// Users put a transform next to the setup and name it by a relative path;
// msiexec looks for it beside the package.
class TransformTest : public InstallerHarness {
protected:
    void SetUp() override {
        InstallerHarness::SetUp();
        downloads = work.directory(L"Downloads");
        setup = work.copy(siblingProgram(L"velkin-setup-args.exe"), L"Downloads\\args-setup.exe");
    }

    tstring downloads;
    tstring setup;
};

TEST_F(TransformTest, RelativeAndAbsoluteTransformsAreApplied) {
    writePropertyTransform(downloads + L"\\x.mst", "PROPC", "relative");
    const tstring absolute = work.directory(L"elsewhere") + L"\\y.mst";
    writePropertyTransform(absolute, "PROPC", "absolute");
    const std::pair<tstring, tstring> cases[] = {{L"", L"v:package"},
                                                 {L"TRANSFORMS=x.mst", L"v:relative"},
                                                 {L"TRANSFORMS=" + quoted(absolute), L"v:absolute"}};
    for (const auto& [args, expected] : cases) {
        EXPECT_EQ(0u, runSetup(setup, L"/qn " + args).exitCode) << tstrings::toUtf8(args);
        EXPECT_EQ(expected, argumentValue(L"PROPC")) << tstrings::toUtf8(args);
        removeTestProducts();
    }
    expectNothingLeftBehind();
}

// Relative names mean what they mean to msiexec run on the package next to
// the setup, and never reach the shared temporary directory, where anyone may
// have planted a transform (one that could add custom actions).
TEST_F(TransformTest, RelativeNamesReadWhatMsiexecNextToTheSetupReads) {
    writePropertyTransform(temp + L"\\t.mst", "PROPC", "planted");
    // Planted before the setups run: it is no setup's leftover.
    useTemp(temp);
    writePropertyTransform(work / L"t.mst", "PROPC", "above");
    writePropertyTransform(downloads + L"\\d.mst", "PROPC", "dot");
    const tstring nextToSetup = work.copy(testPackage(L"args.msi"), L"Downloads\\args.msi");
    EXPECT_EQ(0u, runMsiexec(L"/i " + quoted(nextToSetup) + L" /qn TRANSFORMS=..\\t.mst").exitCode);
    EXPECT_EQ(L"v:above", argumentValue(L"PROPC")) << "msiexec itself";
    removeTestProducts();

    const std::pair<tstring, tstring> cases[] = {{L"TRANSFORMS=..\\t.mst", L"v:above"},
                                                 {L"TRANSFORMS=.\\d.mst", L"v:dot"},
                                                 {L"TRANSFORMS=@sub\\..\\..\\t.mst", L"v:above"}};
    for (const auto& [args, expected] : cases) {
        EXPECT_EQ(0u, runSetup(setup, L"/qn " + args).exitCode) << tstrings::toUtf8(args);
        EXPECT_EQ(expected, argumentValue(L"PROPC")) << tstrings::toUtf8(args);
        removeTestProducts();
    }
    // Without one above the setup, the planted one is still never read:
    // msiexec does what it does next to the setup (Wine's goes on without a
    // missing transform, Windows' refuses).
    ASSERT_TRUE(::DeleteFileW((work / L"t.mst").c_str()));
    const uint32_t direct =
        runMsiexec(L"/i " + quoted(nextToSetup) + L" /qn TRANSFORMS=..\\t.mst").exitCode;
    const tstring directValue = argumentValue(L"PROPC");
    removeTestProducts();
    EXPECT_EQ(direct, runSetup(setup, L"/qn TRANSFORMS=..\\t.mst").exitCode);
    EXPECT_EQ(directValue, argumentValue(L"PROPC"));
    EXPECT_NE(L"v:planted", argumentValue(L"PROPC"));
    expectNothingLeftBehind();
}

// A temporary directory in the system's "\\?\" form: msiexec, which joins
// the package's folder and the relative name, reads the transform.
TEST_F(TransformTest, RelativeTransformsAreAppliedUnderALongFormTemp) {
    writePropertyTransform(work / L"t.mst", "PROPC", "above");
    writePropertyTransform(downloads + L"\\d.mst", "PROPC", "dot");
    useTemp(L"\\\\?\\" + temp);
    for (const auto& [args, expected] : {std::pair<tstring, tstring>{L"TRANSFORMS=..\\t.mst", L"v:above"},
                                         std::pair<tstring, tstring>{L"TRANSFORMS=.\\d.mst", L"v:dot"}}) {
        EXPECT_EQ(0u, runSetup(setup, L"/qn " + args).exitCode) << tstrings::toUtf8(args);
        EXPECT_EQ(expected, argumentValue(L"PROPC")) << tstrings::toUtf8(args);
        removeTestProducts();
    }
    expectNothingLeftBehind();
}

// Where the package's path has no ordinary form (too long for it), such a
// name cannot work: refused, naming it, before anything is written.
TEST_F(TransformTest, UnreachableTransformUnderALongFormTempIsRefused) {
    const MsiexecStandIn standIn;
    writePropertyTransform(work / L"t.mst", "PROPC", "above");
    // Short enough for the system to give as TEMP, too long for the package's
    // path in the ordinary form.
    const tstring longTemp = L"\\\\?\\" + temp + L"\\" + tstring(240 - temp.size(), L'd');
    ASSERT_TRUE(::CreateDirectoryW(longTemp.c_str(), nullptr));
    useTemp(longTemp);
    const ChildResult refused = runSetup(setup, L"/qn TRANSFORMS=a.mst;..\\t.mst", L"true");
    EXPECT_EQ(failureExitCode, refused.exitCode);
    EXPECT_TRUE(contains(refused.output, "The transform ..\\t.mst cannot be found by msiexec"));
    EXPECT_FALSE(exists(record)) << "msiexec was started";
    EXPECT_EQ(std::vector<tstring>{}, listDirectory(longTemp));
    // A name the system need not resolve works there.
    EXPECT_EQ(0u, runSetup(setup, L"/qn TRANSFORMS=a.mst").exitCode);
    EXPECT_TRUE(exists(record));
    ASSERT_TRUE(::RemoveDirectoryW(longTemp.c_str()));
}

TEST_F(TransformTest, TransformTooFarAboveIsRefusedBeforeMsiexecStarts) {
    const MsiexecStandIn standIn;
    tstring climbs;
    for (int level = 0; level < 9; ++level) {
        climbs += L"..\\";
    }
    const ChildResult result = runSetup(setup, L"/qn TRANSFORMS=a.mst;" + climbs + L"t.mst", L"true");
    EXPECT_EQ(failureExitCode, result.exitCode);
    EXPECT_TRUE(contains(result.output, "The transform " + tstrings::toUtf8(climbs) + "t.mst lies 9 "));
    EXPECT_FALSE(exists(record)) << "msiexec was started";
    EXPECT_EQ(std::vector<tstring>{}, listDirectory(temp));
}

TEST_F(TransformTest, RelativeTransformsThatExistAreStagedWhereMsiexecLooks) {
    const MsiexecStandIn standIn;
    writePropertyTransform(downloads + L"\\x.mst", "PROPC", "x");
    writePropertyTransform(work.directory(L"Downloads\\sub") + L"\\y.mst", "PROPC", "y");
    writePropertyTransform(work / L"z.mst", "PROPC", "z");
    const ChildResult result = runSetup(setup,
        L"TRANSFORMS=\":embedded;x.mst;@sub\\y.mst;absent.mst;sub\\..\\..\\z.mst;x.mst\"");
    ASSERT_EQ(0u, result.exitCode) << result.output;
    // One level above the package's folder is the private directory itself,
    // where msiexec reads "..\z.mst" from.
    const tstring package = recordedCommandLine().substr(recordedCommandLine().find(L" /i \"") + 5);
    EXPECT_TRUE(contains(package, L"\\p\\main.msi\" "));
    const std::string staged = recordedPackageFolder();
    const size_t transformSize = readFile(downloads + L"\\x.mst").size();
    for (const char* name : {"x.mst", "sub\\y.mst"}) {
        EXPECT_TRUE(contains(staged, name + (" " + std::to_string(transformSize)) + "\n"));
    }
    for (const char* name : {"absent.mst", "embedded"}) {
        EXPECT_FALSE(contains(staged, name));
    }
    expectNothingLeftBehind();
}

} // namespace
