#pragma once

#include <string>

// Removes a run's private directory so that whatever a signal or a crash
// leaves of it keeps its lock, and so the next run's sweep: it is first
// moved out of the way of the run, which may still be making files in it
// (under a fresh name of the same kind, in the same directory), then
// emptied, and its lock goes last.
void removePrivateDirectory(const std::string& path);
