#pragma once

#include "PackageFacts.h"

#include <string>

// Reads what velkin-pack needs from the package at `path` (bytes, as Linux
// takes them) with libmsi, in this process. libmsi can crash on damaged
// packages: call it only where a crash takes nothing else down.
RawPackageFacts readWithLibmsi(const std::string& path);
