#pragma once

#include "app.h"

#include <new>

// True exactly when VELKIN_DEBUG is "true" (case-sensitive).
bool isDebugMode();

namespace app {

// The Windows front end of `launch`: a debug run gets a console (the
// parent's, or a new one), and a failure is shown in a message box titled
// with the executable's file name as well as written to standard error.
int wlaunch(const std::nothrow_t&, MainFunction mainFunction);

} // namespace app
