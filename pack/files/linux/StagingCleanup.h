#pragma once

#include <string>

// Named staging files that the polite ends of a process (SIGINT, SIGTERM,
// SIGHUP) remove before it goes: the handlers are in place while any file is
// listed, for the signals that were not ignored. SIGKILL leaves a file
// behind; staging files are unnamed where the file system allows that, and
// elsewhere the next velkin-pack to write in that directory removes what a
// lost run left (see StagedOutput).
namespace StagingCleanup {

void add(const std::string& path);
void remove(const std::string& path);
// Removes every file listed, for a run that ends on a signal taken
// elsewhere (SignalWatch).
void removeAll();

} // namespace StagingCleanup
