#include "PoliteEnd.h"

#include "WindowsApi.h"

namespace {

// Held by HeldOff.
SRWLOCK heldOff = SRWLOCK_INIT;

// Called before velkin-pack's own handler (the last one set is called
// first), on a thread of its own: it waits for a step held off to end,
// then ends the process as that handler does.
BOOL WINAPI afterHeldOff(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        ::AcquireSRWLockExclusive(&heldOff);
        ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    }
    return FALSE;
}

} // namespace

struct PoliteEnd::State {};

PoliteEnd::PoliteEnd() { ::SetConsoleCtrlHandler(afterHeldOff, TRUE); }

PoliteEnd::~PoliteEnd() { ::SetConsoleCtrlHandler(afterHeldOff, FALSE); }

PoliteEnd::HeldOff::HeldOff(PoliteEnd& end) : end_(end) { ::AcquireSRWLockExclusive(&heldOff); }

PoliteEnd::HeldOff::~HeldOff() { ::ReleaseSRWLockExclusive(&heldOff); }

void PoliteEnd::HeldOff::published() {}
