#pragma once

#include "tstrings.h"

// Whether a modal window could wait for ever: nobody sees the process's
// window station (a service, session 0), or the arguments ask msiexec for a
// run without a user: /q, /qn or /qb with any of their +, - and ! forms,
// /quiet, /passive; "-" for "/", in any case. A full or reduced UI (/qf, /qr)
// has someone watching.
bool isUnattended(const tstring& msiexecArguments, bool windowStationVisible);

// Makes every later isUnattended answer true, whatever the arguments: for a
// run that must never wait on a user, such as a silent removal, which
// deployment tools start without quiet switches.
void setUnattendedRun(bool unattended);
