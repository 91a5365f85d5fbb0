#pragma once

#include "FileContents.h"
#include "tstrings.h"

#include <cstddef>
#include <string>

// The checks that the deployment tools' fields share, each failure one line
// for the user.
namespace FieldChecks {

// Characters as the tools count them: code points.
size_t length(const tstring& text);

// `what` (an option, or "The ProductName") must have `least` to `most`
// characters.
void requireLength(const tstring& value, size_t least, size_t most, const std::string& what);

// `text` (an option's value) must be Unicode text: no bytes that are no
// UTF-8 (which Linux passes on as they are), no lone surrogate.
void requireText(const tstring& text, const std::string& what);

// -o of a description must name an existing directory.
void requireDirectory(const tstring& directory);

// An http:// or https:// address of up to 2048 characters, without blanks
// or controls.
bool isWebAddress(const tstring& url);

// The contents of `setup`, which must be a setup executable whose product
// code resource names its package's product. `product` names what the
// caller makes, for the refusal of a bare package: "a winget manifest
// describes".
FileContents readSetup(const tstring& setup, const std::string& product);

} // namespace FieldChecks
