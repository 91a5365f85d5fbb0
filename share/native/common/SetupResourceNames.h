#pragma once

#include <cstdint>

// What a setup executable carries beside its program, as RCDATA resources in
// one language: the contract between velkin-pack, which writes them, and the
// setup stub, which reads them. The names are ASCII, written here as the stub
// looks them up (and names them in its messages); velkin-pack stores them in
// upper case, as a resource compiler does and as the system's lookup, which
// ignores case, expects.
namespace SetupResourceNames {

// RT_RCDATA.
constexpr uint16_t type = 10;
// U.S. English: the language of every resource velkin-pack writes.
constexpr uint16_t language = 0x0409;

// The whole installer package, byte for byte.
constexpr const wchar_t* package = L"msi";
// The package's ProductCode: the 38 ASCII characters of the braced GUID,
// without a terminator.
constexpr const wchar_t* productCode = L"product_code";
// The languages the package offers, in a multilingual setup only: decimal
// LANGIDs in ASCII joined by commas, the package's own (base) language first,
// no blanks, no terminator ("1033,1031,1036"). The package carries the
// transform to each other language as a substorage named by its decimal
// LANGID. A setup without it, or with one language, installs the package as
// it is.
constexpr const wchar_t* languages = L"languages";
// Carried by the stub, and so by every setup made from it: what tells a
// Velkin setup from any other program.
constexpr const wchar_t* stubMarker = L"VELKIN_SETUP";

} // namespace SetupResourceNames
