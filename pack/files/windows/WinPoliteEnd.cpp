#include "PoliteEnd.h"

#include "WindowsApi.h"

namespace {

SRWLOCK publishing = SRWLOCK_INIT;

// Called before velkin-pack's own handler (the last one set is called
// first), on a thread of its own: it waits for a publication to end, then
// ends the process as that handler does.
BOOL WINAPI afterPublication(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        ::AcquireSRWLockExclusive(&publishing);
        ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    }
    return FALSE;
}

} // namespace

struct PoliteEnd::State {};

PoliteEnd::PoliteEnd() { ::SetConsoleCtrlHandler(afterPublication, TRUE); }

PoliteEnd::~PoliteEnd() { ::SetConsoleCtrlHandler(afterPublication, FALSE); }

PoliteEnd::Publication::Publication(PoliteEnd& end) : end_(end) { ::AcquireSRWLockExclusive(&publishing); }

PoliteEnd::Publication::~Publication() { ::ReleaseSRWLockExclusive(&publishing); }

void PoliteEnd::Publication::done() {}
