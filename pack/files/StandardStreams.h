#pragma once

// Standard input, output and error that are there, before anything else is
// opened. A caller that closed one (`<&-`, `>&-`, a service without a
// console) would otherwise see the next file velkin-pack opens take its
// place: the package read as standard input, a report written into it, a
// child's /dev/null standing in for it. A missing one is opened on the null
// device, so that what is read there ends at once and what is written goes
// nowhere. Each host has its half.
void openMissingStandardStreams();
