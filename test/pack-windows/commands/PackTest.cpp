// velkin-pack end to end: the real tool on real packages, and what its
// results carry.
#include "PackFiles.h"
#include "Packer.h"
#include "PathUtils.h"
#include "ResourceUpdate.h"
#include "SetupFile.h"
#include "TestSupport.h"
#include "UniqueHandles.h"
#include "VersionQuery.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <regex>

namespace {

const uint32_t usageExitCode = 2;
const uint32_t errorExitCode = 1;
const char demoCode[] = "{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}";

ChildResult runPack(const tstring& args) { return runChild(siblingProgram(L"velkin-pack.exe"), args); }

tstring demoReadme() { return demoInstallDir() + L"\\readme.txt"; }

tstring versionString(const tstring& file, const tstring& name) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    std::vector<uint8_t> block(size);
    if (size == 0 || !::GetFileVersionInfoW(file.c_str(), 0, size, block.data())) {
        return L"<no version record>";
    }
    return queryVersionString(block, name);
}

// A resource of an executable, read with the system's calls alone.
std::string resource(const tstring& file, const wchar_t* type, const wchar_t* name) {
    const HMODULE module = ::LoadLibraryExW(file.c_str(), nullptr,
                                            LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const HRSRC found = module ? ::FindResourceW(module, name, type) : nullptr;
    const std::string data =
        found ? std::string(static_cast<const char*>(::LockResource(::LoadResource(module, found))),
                            ::SizeofResource(module, found))
              : "<no resource>";
    if (module) {
        ::FreeLibrary(module);
    }
    return data;
}

// The output directory holds exactly `expected`: no staging file is left.
void expectOnly(const tstring& directory, const std::vector<tstring>& expected) {
    EXPECT_EQ(expected, listDirectory(directory));
}

// A refusal: exit code 1 and one line that starts "velkin-pack: error: " and
// holds `message`.
void expectRefused(const ChildResult& result, const char* message, const std::string& what) {
    EXPECT_EQ(errorExitCode, result.exitCode) << what;
    EXPECT_TRUE(startsWith(result.output, "velkin-pack: error: ")) << what;
    EXPECT_TRUE(contains(result.output, message)) << what;
    EXPECT_EQ(result.output.size() - 1, result.output.find('\n')) << what << ": one line";
}

class PackTest : public testing::Test {
protected:
    TestDirectory dir;
};

TEST_F(PackTest, PackedDemoDescribesTheProductAndInstalls) {
    const tstring output = dir / L"demo-setup.exe";
    const ChildResult result = runPack(quoted(testPackage(L"demo.msi")) + L" -o " + quoted(output));
    ASSERT_EQ(0u, result.exitCode) << result.output;
    // Unsigned, but installed per user by default: no elevation prompt to
    // name an unknown publisher, and so no warning.
    EXPECT_EQ("", result.output);
    expectOnly(dir.path(), {L"demo-setup.exe"});

    EXPECT_EQ(L"Velkin Demo", versionString(output, L"ProductName"));
    EXPECT_EQ(L"1.0.0", versionString(output, L"ProductVersion"));
    EXPECT_EQ(L"Velkin", versionString(output, L"CompanyName"));
    EXPECT_EQ(L"Velkin Demo Setup", versionString(output, L"FileDescription"));
    EXPECT_EQ(L"demo-setup.exe", versionString(output, L"OriginalFilename"));
    // The 38 characters of the braced GUID, no terminator.
    EXPECT_EQ(demoCode, resource(output, RT_RCDATA, L"PRODUCT_CODE"));
    EXPECT_EQ(readFile(testPackage(L"demo.msi")), resource(output, RT_RCDATA, L"MSI"));

    EXPECT_EQ(0u, runChild(output, L"/qn").exitCode);
    EXPECT_TRUE(exists(demoReadme()));
    EXPECT_EQ(0u, runChild(output, L"uninstall").exitCode);
    EXPECT_FALSE(exists(demoReadme()));
}

TEST_F(PackTest, ReplacesAnExistingOutputAndAnIconOnRequest) {
    const tstring output = dir.file(L"demo-setup.exe", "an older file");
    // One 16x16 image, the stub's first: not the stub's three.
    const tstring stub = siblingProgram(L"velkin-setup.exe");
    ASSERT_NE("<no resource>", resource(stub, RT_ICON, MAKEINTRESOURCEW(3)));
    const std::string image = resource(stub, RT_ICON, MAKEINTRESOURCEW(1));
    std::string icon("\0\0\1\0\1\0", 6);
    const uint8_t entry[16] = {16, 16, 0, 0, 1, 0, 32, 0,
                               static_cast<uint8_t>(image.size()), static_cast<uint8_t>(image.size() >> 8), 0, 0,
                               22, 0, 0, 0};
    icon.append(reinterpret_cast<const char*>(entry), 16);
    icon.append(image.begin(), image.end());
    const tstring iconFile = dir.file(L"one.ico", icon);

    const ChildResult result = runPack(quoted(testPackage(L"demo.msi")) + L" -o " + quoted(output) +
                                       L" --icon " + quoted(iconFile));
    ASSERT_EQ(0u, result.exitCode) << result.output;
    expectOnly(dir.path(), {L"demo-setup.exe", L"one.ico"});

    // The icon group lists the one new image, that image is ours, and the
    // stub's other images are gone.
    const std::string group = resource(output, RT_GROUP_ICON, MAKEINTRESOURCEW(1));
    ASSERT_EQ(6u + 14u, group.size()) << group;
    EXPECT_EQ(1, group[4]);
    const uint16_t id = static_cast<uint16_t>(uint8_t(group[6 + 12]) | uint8_t(group[6 + 13]) << 8);
    EXPECT_EQ(image, resource(output, RT_ICON, MAKEINTRESOURCEW(id)));
    EXPECT_EQ("<no resource>", resource(output, RT_ICON, MAKEINTRESOURCEW(id + 1)));
    EXPECT_EQ(readFile(testPackage(L"demo.msi")), resource(output, RT_RCDATA, L"MSI"));
}

TEST_F(PackTest, WarningsNameWhatTheUserWillMeet) {
    const ChildResult named = runPack(quoted(testPackage(L"demo.msi")) + L" -o " + quoted(dir / L"setup.exe"));
    EXPECT_EQ(0u, named.exitCode);
    EXPECT_TRUE(startsWith(named.output, "velkin-pack: warning: Windows applies installer-specific"));
    // A per-machine installation asks for elevation, and the prompt names
    // the publisher of a signed package only.
    const ChildResult perMachine =
        runPack(quoted(testPackage(L"permachine.msi")) + L" -o " + quoted(dir / L"app-setup.exe"));
    EXPECT_EQ(0u, perMachine.exitCode);
    EXPECT_TRUE(startsWith(perMachine.output, "velkin-pack: warning: The package "));
    EXPECT_TRUE(contains(perMachine.output, "is not signed: msiexec's elevation prompt"));
    expectOnly(dir.path(), {L"app-setup.exe", L"setup.exe"});
}

struct Tampering {
    const char* what;
    const wchar_t* resource;
    std::string data;
    const char* message;
};

// A staging file whose resource tree leads elsewhere than written is refused
// and removed; an intact one (a packed demo) is moved into place.
TEST_F(PackTest, StagingFileIsPublishedOnlyWhenItReadsBackIntact) {
    const uint16_t packedLanguage = 0x0409;  // of every resource velkin-pack writes
    const std::string package = readFile(testPackage(L"demo.msi"));
    const std::vector<Tampering> cases{
        {"package cut short", L"MSI", package.substr(0, package.size() - 1), "The package inside the new setup "},
        {"other product code", L"PRODUCT_CODE", "{00000000-1111-2222-3333-444444444444}",
         "The product code inside the new setup "},
        {"product code with terminator", L"PRODUCT_CODE", std::string(demoCode, sizeof(demoCode)),
         "The product code inside "},
    };
    const tstring packed = siblingProgram(L"velkin-setup-demo.exe");
    const tstring output = dir / L"demo-setup.exe";
    // Checked against the package where the setup's own tree has it: only
    // what was spoiled differs.
    const auto publishCopyOf = [&](const tstring& setup) {
        const InputFile source(setup);
        const uint64_t packageOffset = SetupFile(source, setup).packageOffset();
        StagedOutput staged(output);
        staged.copy(source, 0, 0, source.size());
        publishCheckedSetup(staged, packageOffset, package.size(), demoCode, L"the new setup");
    };
    const tstring spoiled = dir / L"spoiled\\setup.exe";
    for (const Tampering& tampering : cases) {
        dir.copy(packed, L"spoiled\\setup.exe");
        ResourceUpdate(spoiled)
            .put(RT_RCDATA, tampering.resource, packedLanguage, tampering.data.data(), tampering.data.size())
            .commit();
        EXPECT_TRUE(startsWith(failureOf([&] { publishCopyOf(spoiled); }), tampering.message)) << tampering.what;
        expectOnly(dir.path(), {L"spoiled"});
    }
    publishCopyOf(packed);
    expectOnly(dir.path(), {L"demo-setup.exe", L"spoiled"});
    EXPECT_EQ(readFile(packed), readFile(output));
}

struct BadInput {
    const char* what;
    tstring package;
    const char* message;
};

// The demo package grown, sparse, to `size` bytes: the installer reads it as
// the demo, and it costs no disk.
tstring grownDemo(const TestDirectory& dir, const tstring& relative, int64_t size) {
    const tstring grown = dir.copy(testPackage(L"demo.msi"), relative);
    const HANDLE file =
        ::CreateFileW(grown.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, file);
    LARGE_INTEGER end;
    end.QuadPart = size;
    ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
    ::SetEndOfFile(file);
    ::CloseHandle(file);
    return grown;
}

TEST_F(PackTest, BadInputGetsOneLineAndLeavesNothing) {
    const tstring notAPackage = dir.file(L"input\\notes.msi", "just text");
    // Just below 2 GiB, refused once the package is read, with the exact
    // limit; at 2 GiB, refused before any reader sees it.
    const tstring tooLarge = grownDemo(dir, L"input\\large.msi", 0x80000000LL - 1);
    const tstring huge = grownDemo(dir, L"input\\huge.msi", 0x80000000LL);
    const std::vector<BadInput> cases{
        {"not a package", notAPackage, "is not a Windows Installer package"},
        {"no ProductCode", testPackage(L"nocode.msi"), "has no ProductCode"},
        {"ProductCode not a GUID", testPackage(L"badcode.msi"), "The ProductCode 'not-a-guid' of "},
        {"missing input", dir / L"input\\absent.msi", "does not exist"},
        {"a directory", dir / L"input", "input is a directory"},
        {"too large", tooLarge, "a setup executable can carry at most "},
        {"2 GiB", huge, "has 2147483648 bytes, more than a setup executable can carry (the whole executable must stay "
                        "below 2 GiB)"},
        {"external cabinet", testPackage(L"extcab.msi"), "keeps its cabinet demo.cab outside itself"},
        {"a file marked uncompressed", testPackage(L"loosefile.msi"),
         "keeps 1 file uncompressed outside itself (readme.txt): "},
        {"a disk without a cabinet", testPackage(L"nocab.msi"),
         "keeps 3 files uncompressed outside itself (readme.txt, "},
    };
    const tstring outputDir = dir.directory(L"output");
    for (const BadInput& bad : cases) {
        expectRefused(runPack(quoted(bad.package) + L" -o " + quoted(outputDir + L"\\out.exe")),
                      bad.message, bad.what);
        expectOnly(outputDir, {});
    }
}

// The processes that `parent` started and that still run, opened to be
// waited for and ended.
std::vector<UniqueHandle> childrenOf(void* parent) {
    const DWORD parentId = ::GetProcessId(parent);
    std::vector<UniqueHandle> children;
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == parentId) {
            UniqueHandle child(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
            if (child) {
                children.push_back(std::move(child));
            }
        }
    }
    return children;
}

// Each of `children` ends with the velkin-pack that started them. One that
// does not is named and ended: under Wine every process keeps the test
// run's output open while it runs, and ctest would wait for it.
void expectEndedWithVelkinPack(const std::vector<UniqueHandle>& children) {
    for (const UniqueHandle& child : children) {
        if (::WaitForSingleObject(child.get(), 10000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "process " << ::GetProcessId(child.get()) << " outlived the velkin-pack that started it";
            ::TerminateProcess(child.get(), 1);
            ::WaitForSingleObject(child.get(), 10000);
        }
    }
}

// Ended in the middle of writing, as Task Manager or a build's time-out
// would end it: the staging file goes with the process, and so does its
// package reader, if it still runs.
TEST_F(PackTest, KilledWhilePackingLeavesNothing) {
    const tstring big = grownDemo(dir, L"input\\big.msi", 1500LL * 1024 * 1024);
    const tstring outputDir = dir.directory(L"output");
    ChildProcess packing(siblingProgram(L"velkin-pack.exe"),
                         quoted(big) + L" -o " + quoted(outputDir + L"\\big-setup.exe"));
    for (int wait = 0; wait < 400 && listDirectory(outputDir).empty() && packing.running(); ++wait) {
        ::Sleep(50);
    }
    ASSERT_TRUE(packing.running()) << "velkin-pack ended before it could be stopped";
    ASSERT_EQ(1u, listDirectory(outputDir).size()) << "no staging file while packing";
    const std::vector<UniqueHandle> children = childrenOf(packing.process());
    packing.kill();
    expectEndedWithVelkinPack(children);
    expectOnly(outputDir, {});
}

// Ended at the moment its reader exists and has not started (velkin-pack
// waits there for the tests): the reader goes with it, instead of staying
// suspended for ever with what it inherited.
TEST_F(PackTest, KilledBeforeItsReaderStartsLeavesNoReader) {
    const tstring held = dir / L"held";
    ChildProcess packing(siblingProgram(L"velkin-pack.exe"),
                         quoted(testPackage(L"demo.msi")) + L" -o " + quoted(dir / L"demo-setup.exe"),
                         {{L"VELKIN_TEST_HOLD_READER_START", held}});
    for (int waited = 0; waited < 20000 && !exists(held) && packing.running(); waited += 10) {
        ::Sleep(10);
    }
    ASSERT_TRUE(exists(held)) << "velkin-pack never held before its reader's start";
    const std::vector<UniqueHandle> children = childrenOf(packing.process());
    ASSERT_FALSE(children.empty()) << "no reader";
    packing.kill();
    expectEndedWithVelkinPack(children);
    expectOnly(dir.path(), {L"held"});
}

TEST_F(PackTest, UnwritableOutputAndMissingStubAreRefused) {
    const tstring demo = quoted(testPackage(L"demo.msi"));
    expectRefused(runPack(demo + L" -o " + quoted(dir / L"no such dir\\out.exe")),
                  "Cannot write to the directory of ", "missing directory");
    expectRefused(runPack(demo + L" -o " + quoted(dir / L"out.exe") + L" --stub " +
                          quoted(dir / L"absent-stub.exe")),
                  "The setup stub ", "missing stub");
    expectOnly(dir.path(), {});
}

// Writing over an input would destroy it: refused before anything is written,
// however the output is spelled.
TEST_F(PackTest, OutputOverAnInputIsRefused) {
    const tstring input = dir.copy(testPackage(L"demo.msi"), L"demo.msi");
    const tstring stub = dir.copy(siblingProgram(L"velkin-setup.exe"), L"stub.exe");
    const tstring setup = dir.copy(siblingProgram(L"velkin-setup-demo.exe"), L"demo-setup.exe");
    const tstring icon = dir.file(L"app.ico", "refused before it is read");
    const std::string originals[] = {readFile(input), readFile(stub), readFile(setup), readFile(icon)};
    const std::pair<tstring, const char*> cases[] = {
        {quoted(input) + L" -o " + quoted(dir / L"DEMO.MSI"), " is the package itself"},
        {quoted(input) + L" -o " + quoted(stub) + L" --stub " + quoted(dir / L".\\stub.exe"),
         " is the setup stub itself"},
        {L"extract " + quoted(setup) + L" -o " + quoted(setup), " is the setup executable itself"},
        {quoted(input) + L" -o " + quoted(icon) + L" --icon " + quoted(dir / L"APP.ICO"), " is the icon itself"}};
    for (const auto& [args, message] : cases) {
        expectRefused(runPack(args), message, tstrings::toUtf8(args));
    }
    EXPECT_EQ(originals[0], readFile(input));
    EXPECT_EQ(originals[1], readFile(stub));
    EXPECT_EQ(originals[2], readFile(setup));
    EXPECT_EQ(originals[3], readFile(icon));
    expectOnly(dir.path(), {L"app.ico", L"demo-setup.exe", L"demo.msi", L"stub.exe"});
}

TEST_F(PackTest, ExtractedPackageIsTheOriginalAndInstalls) {
    const tstring output = dir / L"demo.msi";
    const ChildResult result = runPack(L"extract " + quoted(siblingProgram(L"velkin-setup-demo.exe")) +
                                       L" -o " + quoted(output));
    ASSERT_EQ(0u, result.exitCode) << result.output;
    EXPECT_EQ("", result.output);
    expectOnly(dir.path(), {L"demo.msi"});
    EXPECT_EQ(readFile(testPackage(L"demo.msi")), readFile(output));

    const tstring msiexec = systemProgram(L"msiexec.exe");
    EXPECT_EQ(0u, runChild(msiexec, L"/i " + quoted(output) + L" /qn").exitCode);
    EXPECT_TRUE(exists(demoReadme()));
    EXPECT_EQ(0u, runChild(msiexec, L"/x " + quoted(output) + L" /qn").exitCode);
    EXPECT_FALSE(exists(demoReadme()));
}

TEST_F(PackTest, InspectReportsAProductCodeResourceThatNamesAnotherProduct) {
    const tstring setup = dir.copy(siblingProgram(L"velkin-setup-demo.exe"), L"altered-setup.exe");
    const std::string other = "{11111111-2222-4333-8444-555555555555}";
    ResourceUpdate(setup)
        .put(RT_RCDATA, L"PRODUCT_CODE", 0x0409, other.data(), other.size())
        .commit();

    // The whole report, then the error.
    const ChildResult text = runPack(L"inspect " + quoted(setup));
    EXPECT_EQ(errorExitCode, text.exitCode) << text.output;
    const std::regex packageCode("\nProductCode: +\\{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10\\}\n");
    const std::regex embeddedCode("\nEmbedded product code: +\\{11111111-2222-4333-8444-555555555555\\} "
                                  "\\(DIFFERS");
    EXPECT_TRUE(std::regex_search(text.output, packageCode)) << text.output;
    EXPECT_TRUE(std::regex_search(text.output, embeddedCode)) << text.output;
    EXPECT_TRUE(contains(text.output, "\nvelkin-pack: error: The product code resource of "));

    const ChildResult json = runPack(L"inspect --json " + quoted(setup));
    EXPECT_EQ(errorExitCode, json.exitCode) << json.output;
    EXPECT_TRUE(contains(json.output, "\"embeddedProductCode\": \"" + other + "\",\n"));
    EXPECT_TRUE(contains(json.output, "\"productCodeMatches\": false,\n"));
    EXPECT_TRUE(contains(json.output, "\"setupSigned\": false,\n  \"setupSignatureProblem\": null\n"));
}

// msi.dll reads a setup's package from a copy in the temporary directory: a
// temporary directory that takes no file is the reason given, not the setup.
TEST_F(PackTest, InspectTellsATemporaryDirectoryThatTakesNoFile) {
    const tstring missing = dir / L"no such directory";
    expectRefused(runChild(siblingProgram(L"velkin-pack.exe"),
                           L"inspect " + quoted(siblingProgram(L"velkin-setup-demo.exe")),
                           {{L"TEMP", missing}, {L"TMP", missing}}),
                  "Cannot make a file in the temporary directory ", "inspect");
}

TEST_F(PackTest, InspectAndExtractRefuseWhatIsNoSetup) {
    const tstring text = dir.file(L"input\\notes.txt", "just text");
    const tstring cut = dir.copy(siblingProgram(L"velkin-setup-demo.exe"), L"input\\cut-setup.exe");
    ResourceUpdate(cut).put(RT_RCDATA, L"MSI", 0x0409, "\xD0", 1).commit();
    const tstring outputDir = dir.directory(L"output");
    const tstring output = quoted(outputDir + L"\\out.msi");
    const tstring stub = quoted(siblingProgram(L"velkin-setup.exe"));
    const tstring absent = quoted(dir / L"absent.exe");
    const char* const noPackage = "is not a Velkin setup executable: it carries no package";
    const std::vector<std::pair<tstring, const char*>> cases{
        {L"inspect " + quoted(text), "is neither a Windows Installer package nor a Velkin setup"},
        {L"inspect " + stub, noPackage},
        {L"inspect " + absent, "does not exist"},
        {L"extract " + quoted(testPackage(L"demo.msi")) + L" -o " + output, "it is no Windows program"},
        {L"extract " + stub + L" -o " + output, noPackage},
        {L"extract " + absent + L" -o " + output, "does not exist"},
        {L"extract " + quoted(cut) + L" -o " + output,
         "whose package cannot be read: its 1 bytes are fewer than any Windows Installer package has"},
        {L"extract " + quoted(siblingProgram(L"velkin-setup-demo.exe")) + L" -o NUL",
         "is a device, not a regular file"},
        // A setup named as a device is refused by its name, as on Linux.
        {quoted(testPackage(L"demo.msi")) + L" -o NUL",
         "-o 'NUL' is no file name that Windows can hold: NUL is the name of a device there"},
    };
    for (const auto& [args, message] : cases) {
        expectRefused(runPack(args), message, tstrings::toUtf8(args));
        expectOnly(outputDir, {});
    }
}

TEST_F(PackTest, UsageErrorsExplainTheCommandLine) {
    for (const tstring args : {L"", L"only.msi", L"a.msi -o", L"a.msi b.msi -o c.exe", L"a.msi -o c.exe --bogus",
                               L"inspect", L"inspect a.exe b.exe", L"inspect a.exe --bogus", L"extract a.exe",
                               L"extract -o a.msi"}) {
        const ChildResult result = runPack(args);
        EXPECT_EQ(usageExitCode, result.exitCode) << tstrings::toUtf8(args);
        EXPECT_TRUE(contains(result.output, "usage: velkin-pack"));
    }
}

// Help is asked for, not a mistake: the usage on standard output and exit 0;
// after "--" every argument is a file.
TEST_F(PackTest, HelpAndTheEndOfOptions) {
    for (const tstring args : {L"--help", L"-h", L"inspect --help"}) {
        const ChildResult result = runPack(args);
        EXPECT_EQ(0u, result.exitCode) << tstrings::toUtf8(args);
        EXPECT_TRUE(startsWith(result.output, "usage: velkin-pack")) << result.output;
    }
    const ChildResult inspected = runPack(L"inspect -- " + quoted(testPackage(L"demo.msi")));
    EXPECT_EQ(0u, inspected.exitCode) << inspected.output;
    EXPECT_TRUE(contains(inspected.output, demoCode));
}

} // namespace
