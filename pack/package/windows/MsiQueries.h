#pragma once

#include "PackageFacts.h"

// Reads a package's facts with msi.dll, in this process. A package that
// msi.dll refuses throws a DamagedFileError whose reason completes "<path> is
// not a Windows Installer package (...)".
RawPackageFacts readWithMsiDll(const tstring& path);
