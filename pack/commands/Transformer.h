#pragma once

#include "tstrings.h"

// Writes to `output` the transform that turns the package `base` into its
// language variant `variant`, as the installer's own transform generator and
// its transform summary would: see TransformBuilder. Each refusal is one
// sentence naming the file, before anything is written.
void makeTransform(const tstring& base, const tstring& variant, const tstring& output);
