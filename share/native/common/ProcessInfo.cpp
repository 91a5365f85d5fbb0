#include "ProcessInfo.h"

#ifdef _WIN32
#include "Windows/ProcessInfo.inc"
#else
#include "Unix/ProcessInfo.inc"
#endif
