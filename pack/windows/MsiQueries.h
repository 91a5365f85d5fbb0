#pragma once

#include "PackageFacts.h"

// Reads a package's facts with msi.dll, in this process. Failures throw a
// reason that completes "<path> is not a Windows Installer package (...)".
RawPackageFacts readWithMsiDll(const tstring& path);
