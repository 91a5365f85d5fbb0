#pragma once

#include "ByteSource.h"
#include "tstrings.h"

#include <cstdint>
#include <string>

// A Velkin setup executable read where it lies: its headers and resource
// tree, never its package whole.
class SetupFile {
public:
    // Throws a DamagedFileError for the user, naming the file, when it is no
    // Velkin setup or carries no package; a failure to read it passes as it
    // is.
    SetupFile(const ByteSource& file, const tstring& path);

    uint64_t packageOffset() const { return packageOffset_; }
    uint64_t packageSize() const { return packageSize_; }
    // The bytes of the product code resource; empty when there is none.
    const std::string& productCode() const { return productCode_; }
    // The bytes of the list of languages; empty when there is none.
    const std::string& languages() const { return languages_; }
    // The executable carries a well-formed Authenticode signature whose
    // digest is the file's (see AuthenticodeSignature); whether its
    // certificate is trusted is Windows' to judge.
    bool isSigned() const { return isSigned_; }
    // Why a certificate table the file has is no such signature, for a
    // sentence; empty when it is one or there is none.
    const std::string& signatureProblem() const { return signatureProblem_; }

private:
    uint64_t packageOffset_ = 0;
    uint64_t packageSize_ = 0;
    std::string productCode_;
    std::string languages_;
    bool isSigned_ = false;
    std::string signatureProblem_;
};
