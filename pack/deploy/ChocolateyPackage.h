#pragma once

#include "ChocolateyFacts.h"

#include <string>

// The zip entry name of an Open Packaging Conventions part: each byte of the
// UTF-8 path outside letters, digits and "-._~/" percent-encoded, as NuGet
// stores its file names.
std::string opcPartName(const tstring& path);

// Reads the setup and writes DIR/ID.VERSION.nupkg, a Chocolatey package
// holding it: the OPC parts that NuGet readers require, ID.nuspec, the
// setup and its install script in tools/ (with --license-file also
// tools/LICENSE.txt and tools/VERIFICATION.txt). Every entry deflated, in a
// fixed order and time: the same setup and request give the same bytes on
// every run and host. Nothing is written when anything fails first.
void writeChocolateyPackage(const ChocolateyRequest& request);
