#include "SystemText.h"

#ifdef _WIN32
#include "Windows/SystemText.inc"
#else
#include "Unix/SystemText.inc"
#endif
