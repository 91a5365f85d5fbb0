#pragma once

#include <cstdint>

// The process exit code: msiexec's, 0 after a removal, -1 until one of them
// is known (and so after any failure).
extern int32_t exitCode;

// Installs the embedded package with msiexec, passing every argument on; or,
// given the argument "uninstall", removes the embedded product.
void wrapperMain();
