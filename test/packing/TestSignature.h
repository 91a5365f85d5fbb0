#pragma once

#include <array>
#include <cstdint>
#include <vector>

// A PE32+ program with a certificate table appended as a signer appends
// one: a WIN_CERTIFICATE (revision 2.0, PKCS_SIGNED_DATA) holding a PKCS#7
// SignedData of Authenticode's indirect data with the program's SHA-256
// Authenticode digest and one signer, the test key's (see TestRsa), with
// its certificate: a signature that verifies, whose trust nobody grants.
// Shared by the Linux and the Windows tests.
std::vector<uint8_t> withTestSignature(std::vector<uint8_t> program);

// The \005DigitalSignature stream of a package whose Authenticode digest is
// `digest`, signed in the same way by the test key.
std::vector<uint8_t> testPackageSignature(const std::array<uint8_t, 32>& digest);
