#pragma once

#include "CompoundFile.h"
#include "MsiStreamName.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

// A package's own Authenticode signature, judged as Windows judges it before
// it looks at trust: the \005DigitalSignature stream holds a PKCS#7
// SignedData whose signer verifies (see signedFileDigest), and the digest
// it holds is the package's as Windows computes it for a compound file:
// the content of every stream but the two signature streams, each storage's
// children in Windows' order (their names' UTF-16LE bytes compared as bytes,
// the shorter first where one begins the other) and each storage's CLSID
// after its children. With a \005MsiDigitalSignatureEx stream, that stream
// holds the digest of the entries' metadata (names, CLSIDs, stream sizes,
// state bits, streams' times) in the same order, and the package's digest
// starts with it.
struct PackageSignature {
    // The package has a \005DigitalSignature stream.
    bool present = false;
    // Why it is no valid signature, in words for a sentence ("its signature's
    // digest is not the package's: ..."); empty when it is one, or when
    // there is none.
    std::string problem;

    bool valid() const { return present && problem.empty(); }
};

// A stream of the package, where it lies, as the digest reads it.
struct HashedStream {
    // The storages that hold it, from the root's first child down.
    std::vector<const CompoundStorage*> storages;
    const CompoundStream* stream;
};

// Sees each piece of each hashed stream as the digest reads it, with the
// piece's offset in its stream: a comparison made in the same reading.
using HashedPieces = std::function<void(const HashedStream&, uint64_t, const uint8_t*, size_t)>;

// The package's Authenticode digest (SHA-256), as its signature must hold
// it: what a signer signs.
std::array<uint8_t, 32> packageDigest(const CompoundStorage& package);

// Reads each stream of `package` once.
PackageSignature readPackageSignature(const CompoundStorage& package, const HashedPieces& alsoSee = {});


// The children of `storage`, storages and streams alike, in the order
// Windows hashes them.
struct HashedChild {
    const CompoundStream* stream;
    const CompoundStorage* storage;
    const std::u16string& name() const { return stream ? stream->name : storage->name; }
};
std::vector<HashedChild> inHashOrder(const CompoundStorage& storage);
