#pragma once

// The one way in to the Windows headers: every source that calls the Windows
// API includes this file instead of <windows.h>, so that the switches below
// hold everywhere.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
