#pragma once

#include "ErrorHandling.h"

#include <stdexcept>

// A file whose bytes are not what they should be: no program, a damaged
// header or resource tree, a package its reader refuses. Callers catch it by
// this kind, as VkError<DamagedFileError>, to say what the file is not;
// every other failure (the file cannot be read, a reader crashed or took too
// long, the temporary directory failed) passes with its own reason.
class DamagedFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws a DamagedFileError composed from `<<`-joined pieces.
#define VK_THROW_DAMAGED(pieces) VK_THROW(::DamagedFileError((::tstrings::TextBuilder() << pieces).utf8()))
