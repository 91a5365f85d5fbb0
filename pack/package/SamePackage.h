#pragma once

#include "CompoundFile.h"
#include "PackageSignature.h"

#include <string>

// What a signer's copy of a package is: the same package, or not, and the
// signature it carries. A signer adds the two signature streams at the root
// (\005DigitalSignature, \005MsiDigitalSignatureEx) and changes nothing
// else, so every other stream holds the same bytes and every storage the
// same children and CLSID.
struct SignedCopy {
    // Empty when the copy is the same package; otherwise what differs first,
    // in words for a sentence: "the table Property differs", "the summary
    // information differs", "the stream Binary.icon is missing".
    std::string difference;
    PackageSignature signature;
};

// Reads each stream of both packages once: the copy's signature is judged
// in the same reading.
SignedCopy compareSignedCopy(const CompoundStorage& original, const CompoundStorage& copy);

// A stream's name in words: "the table Property", "the summary
// information", "the stream Binary.icon", with the storages that hold it.
std::string streamInWords(const std::vector<const CompoundStorage*>& storages, const std::u16string& name);
