#pragma once

#include "tstrings.h"

// What `velkin-pack manifest --intune` is asked for.
struct IntuneRequest {
    tstring setup;
    tstring directory;
};

// Reads the setup and writes, into the request's directory (which must
// exist), NAME.intunewin and NAME.win32LobApp.json, NAME being the setup's
// file name without ".exe": both or neither (see OutputSet). The
// .intunewin is a stored zip of two entries: the encrypted content (HMAC-SHA256 ‖ IV ‖ AES-256-CBC of a deflated zip
// holding the setup alone) and Detection.xml with its keys, drawn afresh
// for every package. The inner zip is the same bytes on every run and host.
void writeIntunePackage(const IntuneRequest& request);
