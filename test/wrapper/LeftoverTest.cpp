// Setups ended hard (a deployment tool's time-out, Task Manager) and setups
// run side by side: what the next run leaves of the temporary directory, and
// that a running setup never loses its package.
#include "InstallerHarness.h"
#include "PathUtils.h"
#include "WindowsApi.h"

#include <algorithm>
#include <cstdlib>
#include <regex>

namespace {

// The private directories' names, and their staging files'.
bool isVelkinTempName(const tstring& name) {
    return std::regex_match(name, std::wregex(L"velkin-[0-9a-f]{16}\\.tmp"));
}

// The msiexec stand-in ends with 3 when its package, or anything beside it,
// was gone or changed by the time it ended.
class LeftoverTest : public InstallerHarness {
protected:
    // What the private directories hold, all together.
    std::vector<tstring> insidePrivateDirectories() const {
        std::vector<tstring> inside;
        for (const tstring& name : listDirectory(temp)) {
            if (isVelkinTempName(name)) {
                const std::vector<tstring> names = listDirectory(temp + L"\\" + name);
                inside.insert(inside.end(), names.begin(), names.end());
            }
        }
        return inside;
    }

    // A run being extracted: the staging file of the package is there, the
    // package not yet.
    bool extracting() const {
        const std::vector<tstring> inside = insidePrivateDirectories();
        return !inside.empty() && isVelkinTempName(inside[0]);
    }

    // Stops or starts every thread of `process`, so that what it has written
    // can be looked at while it stands still. (A process that has just ended
    // refuses, and that is no failure.)
    static void setSuspended(void* process, bool suspended) {
        using Call = LONG(NTAPI*)(HANDLE);
        const FARPROC function = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"),
                                                  suspended ? "NtSuspendProcess" : "NtResumeProcess");
        ASSERT_NE(nullptr, function);
        reinterpret_cast<Call>(reinterpret_cast<void (*)()>(function))(process);
    }

    static void waitFor(const tstring& file) {
        for (int waited = 0; waited < 20000 && !exists(file); waited += 10) {
            ::Sleep(10);
        }
        ASSERT_TRUE(exists(file)) << tstrings::toUtf8(file);
    }

    MsiexecStandIn standIn;
};

// The staging file goes with the process that wrote it; the private
// directory stays, and the next run removes it.
TEST_F(LeftoverTest, SetupEndedWhileExtractingLeavesNothingAfterTheNextRun) {
    const std::vector<tstring> before = listDirectory(temp);
    bool caughtExtracting = false;
    for (int attempt = 0; attempt < 5 && !caughtExtracting; ++attempt) {
        const auto setup = startSetup(L"velkin-setup-large.exe", L"/qn", environment);
        // It extracts for some milliseconds: it runs in steps of about one,
        // and is looked at between them, standing still.
        while (setup->running()) {
            setSuspended(setup->process(), true);
            if (extracting()) {
                break;
            }
            setSuspended(setup->process(), false);
            ::Sleep(1);
        }
        // Ended running, as Task Manager or a time-out ends it: under Wine
        // a process ended while suspended once kept its files open for
        // half a minute after it was reported ended.
        setSuspended(setup->process(), false);
        setup->kill();
        // The staging file goes when the ended process's handles are closed,
        // which the system does after it reports the end (Wine's server a
        // moment later on a loaded machine: the test failed 3 times in 32
        // runs when it looked at once).
        for (int waited = 0; waited < 5000 && extracting(); waited += 10) {
            ::Sleep(10);
        }
        const std::vector<tstring> inside = insidePrivateDirectories();
        caughtExtracting = inside.empty() && !exists(record);
        EXPECT_FALSE(!inside.empty() && isVelkinTempName(inside[0]))
            << "the ended setup left its staging file: " << tstrings::toUtf8(inside[0]);
        // Ended too late: its msiexec ran, and ends at once.
        ::Sleep(caughtExtracting ? 0 : 500);
    }
    ASSERT_TRUE(caughtExtracting) << "the setup was never ended while it extracted";
    ASSERT_NE(before, listDirectory(temp));

    ::DeleteFileW(record.c_str());
    EXPECT_EQ(0u, runSetup(L"velkin-setup-demo.exe", L"/qn").exitCode);
    EXPECT_TRUE(exists(record));
    EXPECT_EQ(before, listDirectory(temp));
}

// The setup's own file is open for reading only while it extracts, and
// shares deletion: it may be renamed meanwhile (a browser finishing its
// download, a user tidying up), and the run goes on.
TEST_F(LeftoverTest, SetupRenamedWhileExtractingGoesOn) {
    const tstring setup = work.copy(siblingProgram(L"velkin-setup-large.exe"), L"Downloads\\large-setup.exe");
    const tstring renamed = work / L"Downloads\\renamed-setup.exe";
    bool caughtExtracting = false;
    for (int attempt = 0; attempt < 5 && !caughtExtracting; ++attempt) {
        if (exists(renamed)) {
            ASSERT_TRUE(::MoveFileW(renamed.c_str(), setup.c_str()));
        }
        ::DeleteFileW(record.c_str());
        const auto run = startSetup(setup, L"/qn", environment);
        while (run->running()) {
            setSuspended(run->process(), true);
            if (extracting()) {
                caughtExtracting = true;
                EXPECT_TRUE(::MoveFileW(setup.c_str(), renamed.c_str())) << "error " << ::GetLastError();
                setSuspended(run->process(), false);
                break;
            }
            setSuspended(run->process(), false);
            ::Sleep(1);
        }
        const ChildResult result = run->finish();
        if (caughtExtracting) {
            EXPECT_EQ(0u, result.exitCode) << result.output;
            EXPECT_TRUE(exists(record)) << "msiexec never ran";
        }
    }
    ASSERT_TRUE(caughtExtracting) << "the setup was never caught extracting";
}

// Ended when msiexec exists and has not started (the setup waits there for
// the tests): msiexec goes with the setup instead of staying suspended with
// the private directory's lock, and the next run removes the package.
TEST_F(LeftoverTest, SetupEndedBeforeMsiexecStartsLeavesNothingAfterTheNextRun) {
    const std::vector<tstring> before = listDirectory(temp);
    const tstring held = work / L"held";
    const auto setup = startSetup(L"velkin-setup-demo.exe", L"/qn",
                                  environmentWith(L"VELKIN_TEST_HOLD_BEFORE_START", held));
    waitFor(held);
    ASSERT_NE(before, listDirectory(temp));
    setup->kill();
    const DWORD start = ::GetTickCount();
    do {
        ::Sleep(100);
        EXPECT_EQ(0u, runSetup(L"velkin-setup-demo.exe", L"/qn").exitCode);
    } while (listDirectory(temp) != before && ::GetTickCount() - start < 5000);
    EXPECT_EQ(before, listDirectory(temp));
}

TEST_F(LeftoverTest, MsiexecOfAnEndedSetupKeepsItsPackageUntilItEnds) {
    const std::vector<tstring> before = listDirectory(temp);
    const tstring go = work / L"go";
    const auto setup =
        startSetup(L"velkin-setup-demo.exe", L"/qn", environmentWith(L"VELKIN_TEST_GO", go));
    waitFor(record);
    setup->kill();
    const std::vector<tstring> held = listDirectory(temp);
    ASSERT_EQ(1u, held.size());

    // Another setup runs meanwhile, and sweeps.
    const tstring otherRecord = work / L"other.record";
    EXPECT_EQ(0u, startSetup(L"velkin-setup-demo.exe", L"/qn",
                             environmentWith(L"VELKIN_TEST_RECORD", otherRecord))
                      ->finish()
                      .exitCode);
    EXPECT_TRUE(exists(otherRecord));
    EXPECT_EQ(held, listDirectory(temp));
    EXPECT_TRUE(exists(temp + L"\\" + held[0] + L"\\main.msi"));

    // Once the first msiexec has ended, the next run removes its directory.
    ::CloseHandle(::CreateFileW(go.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    const DWORD start = ::GetTickCount();
    while (listDirectory(temp) != before && ::GetTickCount() - start < 10000) {
        ::Sleep(100);
        runSetup(L"velkin-setup-demo.exe", L"/qn");
    }
    EXPECT_EQ(before, listDirectory(temp));
}

// Each setup sweeps at its start while the earlier ones hold their packages
// and a transform beside them (their msiexec waits until told to end);
// leftovers of runs ended hard go.
TEST_F(LeftoverTest, SetupsSideBySideNeverLoseTheirPackages) {
    const tstring leftover = work.file(L"temp dir \u00E4\u00F6\u00FC\\velkin-00000000000000ab.tmp\\main.msi");
    const tstring setup = work.copy(siblingProgram(L"velkin-setup-demo.exe"), L"Downloads\\setup.exe");
    work.file(L"Downloads\\x.mst", "a transform");
    const tstring go = work / L"go";
    std::vector<std::unique_ptr<ChildProcess>> setups;
    std::vector<tstring> records;
    for (int i = 0; i < 6; ++i) {
        records.push_back(work / (L"record-" + std::to_wstring(i)));
        Environment setupEnvironment = environmentWith(L"VELKIN_TEST_RECORD", records.back());
        setupEnvironment.emplace_back(L"VELKIN_TEST_GO", go);
        setups.push_back(startSetup(setup, L"/qn TRANSFORMS=x.mst", setupEnvironment));
    }
    for (const tstring& started : records) {
        waitFor(started);
    }
    EXPECT_FALSE(exists(FileUtils::parentPath(leftover)));
    EXPECT_TRUE(contains(readFile(records.back() + L".files"), "x.mst 11\n"));
    EXPECT_EQ(setups.size(), listDirectory(temp).size());

    ::CloseHandle(::CreateFileW(go.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    for (const auto& setup : setups) {
        EXPECT_EQ(0u, setup->finish().exitCode) << "a package was lost";
    }
    EXPECT_EQ(std::vector<tstring>{}, listDirectory(temp));
}

// In a temporary directory shared with others (the fixture VELKIN_LINK_FIXTURE
// holds one): only directories ours by name and by owner go. Another user's,
// a link, a file or another program's name stay, and so does what they hold.
TEST_F(LeftoverTest, OnlyDirectoriesOursByNameAndOwnerAreRemoved) {
    const char* fixture = std::getenv("VELKIN_LINK_FIXTURE");
    ASSERT_TRUE(fixture && *fixture);
    tstring root = L"Z:" + tstrings::fromUtf8(fixture);
    std::replace(root.begin(), root.end(), L'/', L'\\');
    useTemp(root + L"\\temp");
    const std::vector<tstring> before = listDirectory(temp);
    const tstring foreign = temp + L"\\velkin-00000000000000f0.tmp";
    const bool foreignOwned = ownerSid(foreign) != currentUserSid();

    work.copy(siblingProgram(L"velkin-setup-demo.exe"), L"leftover.tmp");
    const tstring ours = temp + L"\\velkin-00000000000000ab.tmp";
    ASSERT_TRUE(::CreateDirectoryW(ours.c_str(), nullptr));
    ASSERT_TRUE(::MoveFileW((work / L"leftover.tmp").c_str(), (ours + L"\\velkin-1.tmp").c_str()));

    EXPECT_EQ(0u, runSetup(L"velkin-setup-demo.exe", L"/qn").exitCode);
    EXPECT_EQ(before, listDirectory(temp));
    EXPECT_EQ("precious\n", readFile(root + L"\\target\\precious"));
    for (const wchar_t* name : {L"123.tmp", L"velkin-123.tmp", L"velkin-00000000000000f2.tmp"}) {
        EXPECT_TRUE(exists(temp + L"\\" + name)) << tstrings::toUtf8(name);
    }
    if (foreignOwned) {
        EXPECT_EQ("kept\n", readFile(foreign + L"\\kept"));
    } else {
        ADD_FAILURE() << "the fixture could not give a directory to another user (needs root)";
    }
}

// A leftover of a setup's name holding a Unix link to a file outside it
// (fixture "swept-temp"): Wine shows the link as that file. The sweep empties
// the directory of everything else and leaves the file outside as it was.
TEST_F(LeftoverTest, SweepNeverDeletesThroughAFileLink) {
    const char* fixture = std::getenv("VELKIN_LINK_FIXTURE");
    ASSERT_TRUE(fixture && *fixture);
    tstring root = L"Z:" + tstrings::fromUtf8(fixture);
    std::replace(root.begin(), root.end(), L'/', L'\\');
    useTemp(root + L"\\swept-temp");
    const tstring leftover = temp + L"\\velkin-00000000000000f3.tmp";
    ASSERT_TRUE(exists(leftover + L"\\plain.txt"));

    EXPECT_EQ(0u, runSetup(L"velkin-setup-demo.exe", L"/qn").exitCode);
    EXPECT_EQ("outside\n", readFile(root + L"\\target\\outside.txt"));
    EXPECT_FALSE(exists(leftover + L"\\plain.txt"));
    EXPECT_EQ(std::vector<tstring>{L"file-link"}, listDirectory(leftover));
}

} // namespace
