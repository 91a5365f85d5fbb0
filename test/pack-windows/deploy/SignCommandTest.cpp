// velkin-pack.exe runs the user's signer through cmd /c: this test program,
// run again as the signer, "signs" each file and records the paths it was
// given.
#include "CompoundFileReader.h"
#include "MsiStreamName.h"
#include "PackFiles.h"
#include "PackageSignature.h"
#include "PathUtils.h"
#include "TestSignature.h"
#include "TestSupport.h"
#include "UniqueHandles.h"
#include "WinFileUtils.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <objbase.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <string>

namespace {

const wchar_t* const signerLogVariable = L"VELKIN_TEST_SIGNER_LOG";
// Set to 1: the signer writes the package it was given, a sector longer, and
// signs nothing.
const wchar_t* const signerUnsignedVariable = L"VELKIN_TEST_SIGNER_UNSIGNED";
// Set to 1: the signer signs the package, then changes a byte of its
// cabinet, as a signer that returns another package does.
const wchar_t* const signerChangesVariable = L"VELKIN_TEST_SIGNER_CHANGES";

// Runs as the signer of SignCommandTest: signs its first argument into its
// second and appends both paths to the parent's log.
TEST(SignerChild, SignsIntoItsSecondArgument) {
    const tstring log = SysInfo::getEnvVariable(std::nothrow, signerLogVariable, L"");
    ASSERT_FALSE(log.empty()) << "run only as the signer of another test";
    const tstring_array args = SysInfo::getCommandArgs(SysInfo::DropProgramPath);
    ASSERT_EQ(3u, args.size());
    std::ofstream(log.c_str(), std::ios::app | std::ios::binary)
        << tstrings::toUtf8(args[1]) << "|" << tstrings::toUtf8(args[2]) << "\n";
    std::ofstream((log + L".steps").c_str(), std::ios::app | std::ios::binary)
        << tstrings::toUtf8(SysInfo::getEnvVariable(std::nothrow, L"VELKIN_SIGN_STEP", L"(none)")) << "\n";
    const std::string bytes = readFile(args[1]);
    const bool program = bytes.compare(0, 2, "MZ") == 0;
    if (!program && SysInfo::getEnvVariable(std::nothrow, signerUnsignedVariable, L"") == L"1") {
        std::ofstream(args[2].c_str(), std::ios::binary) << bytes << std::string(512, '\0');
        return;
    }
    if (program) {
        const std::vector<uint8_t> signedProgram = withTestSignature(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        std::ofstream(args[2].c_str(), std::ios::binary)
            .write(reinterpret_cast<const char*>(signedProgram.data()),
                   static_cast<std::streamsize>(signedProgram.size()));
    } else {
        std::ofstream(args[2].c_str(), std::ios::binary) << bytes;
    }
    if (!program) {
        // A package's signature is a stream of its storage.
        IStorage* raw = nullptr;
        ASSERT_EQ(S_OK, ::StgOpenStorage(args[2].c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                         &raw));
        const std::unique_ptr<IStorage, ReleaseDeleter> storage(raw);
        const std::vector<uint8_t> signature = [&] {
            const InputFile unsignedPackage(args[1]);
            const CompoundFileReader reader(unsignedPackage, 0, unsignedPackage.size());
            return testPackageSignature(packageDigest(reader.root()));
        }();
        IStream* rawStream = nullptr;
        ASSERT_EQ(S_OK, storage->CreateStream(L"\x05" L"DigitalSignature", STGM_CREATE | STGM_WRITE |
                                              STGM_SHARE_EXCLUSIVE, 0, 0, &rawStream));
        const std::unique_ptr<IStream, ReleaseDeleter> stream(rawStream);
        ASSERT_EQ(S_OK, stream->Write(signature.data(), static_cast<ULONG>(signature.size()), nullptr));
        if (SysInfo::getEnvVariable(std::nothrow, signerChangesVariable, L"") == L"1") {
            const std::u16string cabinet = MsiStreamName::encode("demo.cab", false);
            IStream* rawCabinet = nullptr;
            ASSERT_EQ(S_OK, storage->OpenStream(reinterpret_cast<const wchar_t*>(cabinet.c_str()), nullptr,
                                                STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &rawCabinet));
            const std::unique_ptr<IStream, ReleaseDeleter> changed(rawCabinet);
            LARGE_INTEGER at{};
            at.QuadPart = 100;
            uint8_t byte = 0;
            ASSERT_EQ(S_OK, changed->Seek(at, STREAM_SEEK_SET, nullptr));
            ASSERT_EQ(S_OK, changed->Read(&byte, 1, nullptr));
            byte ^= 0xFF;
            ASSERT_EQ(S_OK, changed->Seek(at, STREAM_SEEK_SET, nullptr));
            ASSERT_EQ(S_OK, changed->Write(&byte, 1, nullptr));
        }
        ASSERT_EQ(S_OK, storage->Commit(STGC_DEFAULT));
    }
    std::fputs("test signer: signed\n", stderr);
}

// Runs as a signer that takes its time: says where it runs (its process id,
// in the parent's file), then waits.
TEST(SignerChild, WaitsAfterSayingWhere) {
    const tstring record = SysInfo::getEnvVariable(std::nothrow, signerLogVariable, L"");
    ASSERT_FALSE(record.empty()) << "run only as the signer of another test";
    std::ofstream((record + L".tmp").c_str(), std::ios::binary) << ::GetCurrentProcessId();
    ::MoveFileW((record + L".tmp").c_str(), record.c_str());
    ::Sleep(60 * 1000);
}

// The command line that runs SignerChild as the signer, without its markers.
tstring testSigner() {
    return siblingProgram(L"velkin-pack-tests.exe") + L" --gtest_filter=SignerChild.SignsIntoItsSecondArgument";
}

class SignCommandTest : public testing::Test {
protected:
    ChildResult pack(const tstring& signCommand) {
        return runChild(siblingProgram(L"velkin-pack.exe"),
                        quoted(testPackage(L"demo.msi")) + L" -o " + quoted(output) + L" --sign-command " +
                            quoted(signCommand),
                        {{signerLogVariable, log}});
    }

    TestDirectory dir;
    const tstring output = dir / L"demo-setup.exe";
    const tstring log = dir / L"signer.log";
};

TEST_F(SignCommandTest, SignsPackageThenSetupWithCopiesItRemoves) {
    const ChildResult result =
        pack(testSigner() + L" %1 %2");
    ASSERT_EQ(0u, result.exitCode) << result.output;
    EXPECT_EQ((std::vector<tstring>{L"demo-setup.exe", L"signer.log", L"signer.log.steps"}),
              listDirectory(dir.path()));

    // The package first, then the setup built around it; each signed copy
    // in a directory of its own, all gone again.
    const std::string signings = readFile(log);
    const std::vector<std::string> expected{"\\package\\package.msi|", "\\package-signed\\package.msi\n",
                                            "\\setup\\setup.exe|", "\\setup-signed\\setup.exe\n"};
    size_t at = 0;
    for (const std::string& piece : expected) {
        at = signings.find(piece, at);
        ASSERT_NE(std::string::npos, at) << piece << " in " << signings;
    }
    const tstring first = tstrings::fromUtf8(signings.substr(0, signings.find('|')));
    EXPECT_FALSE(exists(first.substr(0, first.rfind(L"\\package\\"))));

    const ChildResult report = runChild(siblingProgram(L"velkin-pack.exe"), L"inspect " + quoted(output) + L" --json");
    EXPECT_TRUE(contains(report.output, "\"signed\": true,")) << report.output;
    EXPECT_TRUE(contains(report.output, "\"setupSigned\": true,\n")) << report.output;
    EXPECT_TRUE(contains(report.output, "\"setupSignatureProblem\": null\n")) << report.output;
    EXPECT_TRUE(contains(report.output, "\"productCodeMatches\": true,")) << report.output;
}

// Its copies live in a directory named as every Velkin program names what it
// leaves in the temporary directory: what a run ended hard left of one, the
// next run removes first (and so does any setup's run).
TEST_F(SignCommandTest, ItsDirectoryIsNamedAsEveryLeftoverAndTheirsGoFirst) {
    const tstring leftover = FileUtils::joinPath(SysInfo::getTempDir(), L"velkin-00000000000000cd.tmp");
    ASSERT_TRUE(::CreateDirectoryW(leftover.c_str(), nullptr));
    std::ofstream((leftover + L"\\package.msi").c_str(), std::ios::binary) << "left";
    const ChildResult result =
        pack(testSigner() + L" %1 %2");
    ASSERT_EQ(0u, result.exitCode) << result.output;
    EXPECT_FALSE(exists(leftover));
    const std::string signings = readFile(log);
    EXPECT_TRUE(std::regex_search(signings, std::regex(R"(\\velkin-[0-9a-f]{16}\.tmp\\package\\package\.msi\|)")))
        << signings;
}

// Each layer can have its own certificate or description: the signer is told
// which it signs, whatever the caller's environment held.
TEST_F(SignCommandTest, TheSignerIsToldTheStep) {
    ::SetEnvironmentVariableW(L"VELKIN_SIGN_STEP", L"the caller's");
    const ChildResult result =
        pack(testSigner() + L" %1 %2");
    ::SetEnvironmentVariableW(L"VELKIN_SIGN_STEP", nullptr);
    ASSERT_EQ(0u, result.exitCode) << result.output;
    EXPECT_EQ("package\nsetup\n", readFile(log + L".steps"));
}

// cmd expands %NAME% even between quotes: a temporary directory whose path
// holds %OS% and a blank, or starts with %OS% right after a backslash (which
// the quote put before the % makes a run of backslashes before a quote),
// reaches the signer as it is, with the markers bare and in the quotes
// Windows users write around them.
TEST_F(SignCommandTest, PathsReachTheSignerAsTheyAreWhateverTheTemporaryDirectory) {
    const tstring signer = testSigner();
    for (const tstring& temporary : {dir.directory(L"with blank %OS% %PATH%"), dir.directory(L"%OS% first")}) {
        for (const tstring& markers : {tstring(L" %1 %2"), tstring(L" \"%1\" \"%2\"")}) {
            ::DeleteFileW(log.c_str());
            const ChildResult result = runChild(siblingProgram(L"velkin-pack.exe"),
                                                quoted(testPackage(L"demo.msi")) + L" -o " + quoted(output) +
                                                    L" --sign-command " + quoted(signer + markers),
                                                {{signerLogVariable, log}, {L"TMP", temporary}, {L"TEMP", temporary}});
            ASSERT_EQ(0u, result.exitCode) << result.output;
            const std::string signings = readFile(log);
            EXPECT_EQ(0u, signings.find(tstrings::toUtf8(temporary) + "\\velkin-")) << signings;
            EXPECT_TRUE(contains(signings, "|" + tstrings::toUtf8(temporary) + "\\velkin-")) << signings;
        }
    }
}

// A signature can cost money or a touch of a token: a package that comes
// back unsigned is refused before the setup is signed, after one run of the
// signer.
TEST_F(SignCommandTest, AnUnsignedPackageIsRefusedBeforeTheSetupIsSigned) {
    const ChildResult result =
        runChild(siblingProgram(L"velkin-pack.exe"),
                 quoted(testPackage(L"demo.msi")) + L" -o " + quoted(output) + L" --sign-command " +
                     quoted(testSigner() + L" %1 %2"),
                 {{signerLogVariable, log}, {signerUnsignedVariable, L"1"}});
    EXPECT_EQ(1u, result.exitCode);
    // Beside what the signer (a test program) wrote to its standard output.
    const std::string refusal =
        "velkin-pack: error: Signing the package failed: the sign command wrote a package without a signature\n";
    EXPECT_EQ(result.output.size() - refusal.size(), result.output.rfind(refusal)) << result.output;
    EXPECT_EQ("package\n", readFile(log + L".steps"));
}

// Every byte but the signature streams must come back as it was: a package
// whose cabinet differs is refused by the stream's name, though signed.
TEST_F(SignCommandTest, APackageChangedBeyondItsSignatureIsRefused) {
    const ChildResult result =
        runChild(siblingProgram(L"velkin-pack.exe"),
                 quoted(testPackage(L"demo.msi")) + L" -o " + quoted(output) + L" --sign-command " +
                     quoted(testSigner() + L" %1 %2"),
                 {{signerLogVariable, log}, {signerChangesVariable, L"1"}});
    EXPECT_EQ(1u, result.exitCode);
    const std::string refusal = "velkin-pack: error: Signing the package failed: the sign command returned another "
                                "package (the stream demo.cab differs)\n";
    EXPECT_EQ(result.output.size() - refusal.size(), result.output.rfind(refusal)) << result.output;
    EXPECT_FALSE(exists(output));
    EXPECT_EQ((std::vector<tstring>{L"signer.log", L"signer.log.steps"}), listDirectory(dir.path()));
}

// velkin-pack.exe ended while the signer runs (Ctrl+C ends it at once, as
// does a time-out's kill) ends the signer's processes with it: cmd and the
// program it started.
TEST_F(SignCommandTest, TheSignerEndsWithVelkinPack) {
    const tstring signer = siblingProgram(L"velkin-pack-tests.exe") +
                           L" --gtest_filter=SignerChild.WaitsAfterSayingWhere & rem %1";
    ChildProcess packing(siblingProgram(L"velkin-pack.exe"),
                         quoted(testPackage(L"demo.msi")) + L" -o " + quoted(output) + L" --sign-command " +
                             quoted(signer),
                         {{signerLogVariable, log}});
    for (int wait = 0; wait < 400 && !FileUtils::pathExists(log) && packing.running(); ++wait) {
        ::Sleep(50);
    }
    ASSERT_TRUE(FileUtils::pathExists(log)) << "the signer did not start";
    const DWORD signerId = static_cast<DWORD>(std::stoul(readFile(log)));
    const UniqueHandle signerProcess(::OpenProcess(SYNCHRONIZE, FALSE, signerId));
    ASSERT_TRUE(signerProcess) << "no process " << signerId;
    packing.kill();
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(signerProcess.get(), 10 * 1000))
        << "the signer still runs after velkin-pack.exe ended";
}

TEST_F(SignCommandTest, AFailingSignerIsReportedWithItsLastMessage) {
    const ChildResult result = pack(L"echo starting 1>&2 & echo no key 1>&2 & exit 7 & rem %1");
    EXPECT_EQ(1u, result.exitCode);
    EXPECT_EQ("velkin-pack: error: Signing the package failed: the sign command exited with 7; its last message: "
              "no key\n",
              result.output);
    EXPECT_EQ(std::vector<tstring>{}, listDirectory(dir.path()));
}

} // namespace
