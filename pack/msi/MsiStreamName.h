#pragma once

#include <string>

// The names under which an installer database keeps its streams in its
// compound file: two name characters of the identifier set packed into one
// code unit, so that names up to 62 characters fit the 31 a directory entry
// holds; a table's stream starts with a mark of its own. Names outside the
// set keep their characters; the storage's own streams, whose names start
// with \x05 (the summary information), are not packed.
namespace MsiStreamName {

// `name` holds ASCII; other bytes are taken as the code units they are.
std::u16string encode(const std::string& name, bool isTable);

// The name, and whether it is a table's; characters outside the packed set
// come back as they are (a non-ASCII one as its code unit, in UTF-8).
std::string decode(const std::u16string& stored, bool& isTable);

} // namespace MsiStreamName

// Whether a stream among a package's root's is one of its digital
// signature's own (`\x05DigitalSignature`, `\x05MsiDigitalSignatureEx`).
bool isSignatureStream(const std::u16string& name);
