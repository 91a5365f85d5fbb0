#pragma once

#include "tstrings.h"

// Writes the package inside a Velkin setup executable to `output`, byte for
// byte. The output appears only when complete and checked; a failure leaves
// neither it nor a staging file. Throws an error for the user for a file that
// is no Velkin setup.
void extract(const tstring& setup, const tstring& output);
