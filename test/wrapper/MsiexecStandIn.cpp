#include "MsiexecStandIn.h"

#include "UniqueHandles.h"
#include "WindowsApi.h"

#include <tlhelp32.h>

#include <stdexcept>

namespace {

tstring msiexec() { return systemProgram(L"msiexec.exe"); }
tstring standInProgram() { return siblingProgram(L"velkin-test-msiexec.exe"); }

uint64_t fileTimeValue(const FILETIME& time) { return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime; }

uint64_t now() {
    FILETIME time;
    ::GetSystemTimeAsFileTime(&time);
    return fileTimeValue(time);
}

std::string lastError() { return "error " + std::to_string(::GetLastError()); }

bool putBack() {
    return ::MoveFileExW(MsiexecStandIn::savedOriginal().c_str(), msiexec().c_str(), MOVEFILE_REPLACE_EXISTING) !=
           FALSE;
}

// Whether `process` runs the prefix's msiexec.exe and was started at
// `since` or later.
bool runsMsiexecSince(HANDLE process, uint64_t since) {
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user) || fileTimeValue(created) < since) {
        return false;
    }
    wchar_t image[MAX_PATH];
    DWORD length = MAX_PATH;
    return ::QueryFullProcessImageNameW(process, 0, image, &length) &&
           ::CompareStringOrdinal(image, static_cast<int>(length), msiexec().c_str(),
                                  static_cast<int>(msiexec().size()), TRUE) == CSTR_EQUAL;
}

// Ends every process of the prefix's msiexec.exe started at `since` or
// later, and says how many there were.
int endMsiexecsSince(uint64_t since) {
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    int ended = 0;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::lstrcmpiW(entry.szExeFile, L"msiexec.exe") != 0) {
            continue;
        }
        const UniqueHandle process(
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (process && runsMsiexecSince(process.get(), since) && ::TerminateProcess(process.get(), 1)) {
            ::WaitForSingleObject(process.get(), 5000);
            ++ended;
        }
    }
    return ended;
}

} // namespace

tstring MsiexecStandIn::savedOriginal() { return msiexec() + L".velkin-saved"; }

MsiexecStandIn::MsiexecStandIn() {
    const tstring saved = savedOriginal();
    if (exists(saved) && !putBack()) {
        throw std::runtime_error("the prefix's own msiexec.exe waits in " + tstrings::toUtf8(saved) +
                                 " and cannot go back to its place (" + lastError() +
                                 "): a process of an earlier test still runs the stand-in there");
    }
    if (readFile(msiexec()) == readFile(standInProgram())) {
        throw std::runtime_error(tstrings::toUtf8(msiexec()) +
                                 " is the test's stand-in and no original is saved: the prefix needs Wine's own "
                                 "msiexec.exe again (test/prefix-msiexec-test.sh puts it back)");
    }
    placedAt_ = now();
    if (!::CopyFileW(msiexec().c_str(), saved.c_str(), TRUE)) {
        throw std::runtime_error("cannot save the prefix's msiexec.exe as " + tstrings::toUtf8(saved) + ": " +
                                 lastError());
    }
    if (!::CopyFileW(standInProgram().c_str(), msiexec().c_str(), FALSE)) {
        const std::string error = lastError();
        ::DeleteFileW(saved.c_str());
        throw std::runtime_error("cannot put the stand-in in place of " + tstrings::toUtf8(msiexec()) + ": " + error);
    }
}

MsiexecStandIn::~MsiexecStandIn() {
    if (putBack()) {
        return;
    }
    const std::string firstError = lastError();
    // The system closes an ended process's handles a moment after it
    // reports the end (Wine's server later still on a loaded machine).
    const int ended = endMsiexecsSince(placedAt_);
    for (int waited = 0; waited < 10000; waited += 50) {
        if (putBack()) {
            return;
        }
        ::Sleep(50);
    }
    ADD_FAILURE() << "the prefix's own msiexec.exe cannot go back from " << tstrings::toUtf8(savedOriginal())
                  << " (" << firstError << ", then " << lastError() << " after ending " << ended
                  << " stand-in process(es)): msiexec.exe is still the stand-in";
}
