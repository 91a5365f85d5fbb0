#pragma once

#include "tstrings.h"

#include <string>

// Writes an installer transform that changes the value of one property the
// package already has (ASCII names and values). Made by hand because nothing
// on the build machine makes transforms.
void writePropertyTransform(const tstring& path, const std::string& property,
                            const std::string& value);
