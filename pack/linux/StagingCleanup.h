#pragma once

#include <string>

// Named staging files that the polite ends of a process (SIGINT, SIGTERM,
// SIGHUP) remove before it goes: the handlers are in place while any file is
// listed. Nothing removes a file on SIGKILL; staging files are unnamed where
// the file system allows that, and so seldom listed here.
namespace StagingCleanup {

void add(const std::string& path);
void remove(const std::string& path);

} // namespace StagingCleanup
