#pragma once

#include "TestSupport.h"

#include <cstdint>

// For its lifetime the prefix's msiexec.exe is the recording stand-in
// (RecordingMsiexec.cpp). Wine runs a replaced msiexec.exe only in a process
// tree that started preferring native programs for it, as the wrapper tests
// do (WINEDLLOVERRIDES); its own msiexec.exe is a placeholder for the builtin.
//
// The original waits beside it (savedOriginal()) and is never overwritten: a
// stand-in left by a run that died goes back first, and where that cannot be
// done (a process of that run still holds it), or where msiexec.exe is the
// stand-in with no original saved, the constructor refuses with a
// std::runtime_error that names the files, and the test does not start. At
// its end, a stand-in process started meanwhile and still there (one left
// suspended by a setup ended before it started its child) is ended so that
// the original can go back; the test fails if it still cannot.
class MsiexecStandIn {
public:
    MsiexecStandIn();
    ~MsiexecStandIn();

    MsiexecStandIn(const MsiexecStandIn&) = delete;
    MsiexecStandIn& operator=(const MsiexecStandIn&) = delete;

    static tstring savedOriginal();

private:
    // When the stand-in took its place, in the system's file time.
    uint64_t placedAt_ = 0;
};
