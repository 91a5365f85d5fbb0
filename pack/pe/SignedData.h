#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The PKCS#7 SignedData of Authenticode's indirect data from `begin` to
// `end` of `table` (a certificate entry's content), read in the form
// Windows reads; the SHA-256 digest it holds of its file, or none when it
// holds another algorithm's. With `verify`, it is also checked as Windows
// checks a signature before it looks at trust: its one signer's
// certificate is among those it carries, the signer's authenticated
// attributes name the indirect data as their content and hold its SHA-256
// digest, and the signature value (RSA, over those attributes' SHA-256
// digest) verifies with the certificate's public key. Anything else throws
// a DamagedFileError with the reason.
std::optional<std::array<uint8_t, 32>> signedFileDigest(const std::vector<uint8_t>& table, size_t begin, size_t end,
                                                         bool verify);
