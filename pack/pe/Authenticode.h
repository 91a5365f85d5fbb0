#pragma once

#include "ByteSource.h"
#include "PeHeaders.h"

#include <string>

// What a PE file's certificate table holds, judged as Windows judges a
// signature before it looks at trust (which certificates to trust is the
// user's): the table lies inside the file, after the last section and at
// its end; its WIN_CERTIFICATE entries are of revision 0x0200 and type
// PKCS_SIGNED_DATA, each a PKCS#7 SignedData of Authenticode's indirect
// data; the first one's signer verifies (see signedFileDigest); and the
// digest that it holds equals the Authenticode digest of the file as it is
// (SHA-256, over every byte but the CheckSum, the table's directory entry
// and the table).
struct AuthenticodeSignature {
    // The file has a certificate table.
    bool present = false;
    // Why the table is no valid signature, in words for a sentence ("its
    // certificate table runs past the end of the file"); empty when it is
    // one, or when there is none.
    std::string problem;

    bool valid() const { return present && problem.empty(); }
};

AuthenticodeSignature readAuthenticodeSignature(const ByteSource& file, const PeHeaders& headers);
