#include "SignedData.h"

#include "Crypto.h"
#include "DerReader.h"
#include "Sha256.h"

namespace {

// Object identifiers, as DER writes their content.
const std::vector<uint8_t> signedDataType{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const std::vector<uint8_t> indirectDataType{0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04};
const std::vector<uint8_t> sha256Algorithm{0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
const std::vector<uint8_t> rsaEncryption{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
const std::vector<uint8_t> sha256WithRsa{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B};
const std::vector<uint8_t> contentTypeAttribute{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03};
const std::vector<uint8_t> messageDigestAttribute{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};

// Windows takes no RSA key below 1024 bits for a signature; CNG none above
// 16384.
constexpr size_t smallestModulus = 1024 / 8;
constexpr size_t largestModulus = 16384 / 8;
constexpr size_t largestExponent = 8;

std::vector<uint8_t> contentOf(const std::vector<uint8_t>& bytes, const DerElement& element) {
    return std::vector<uint8_t>(bytes.begin() + static_cast<ptrdiff_t>(element.begin),
                                bytes.begin() + static_cast<ptrdiff_t>(element.end));
}

std::vector<uint8_t> wholeOf(const std::vector<uint8_t>& bytes, const DerElement& element) {
    return std::vector<uint8_t>(bytes.begin() + static_cast<ptrdiff_t>(element.start),
                                bytes.begin() + static_cast<ptrdiff_t>(element.end));
}

// An INTEGER's magnitude without the zeros that lead it.
std::vector<uint8_t> unsignedInteger(const std::vector<uint8_t>& bytes, const DerElement& element) {
    size_t at = element.begin;
    while (at < element.end && bytes[at] == 0) {
        ++at;
    }
    return std::vector<uint8_t>(bytes.begin() + static_cast<ptrdiff_t>(at),
                                bytes.begin() + static_cast<ptrdiff_t>(element.end));
}

// The algorithm that an AlgorithmIdentifier names.
DerElement algorithmOf(const std::vector<uint8_t>& bytes, const DerElement& identifier, const char* what) {
    DerReader reader(bytes, identifier);
    return reader.next(derObjectIdentifier, what);
}

// What the SignedData holds that the signer's check needs.
struct SignedParts {
    DerElement digestAlgorithms;
    DerElement indirectData;
    std::optional<DerElement> certificates;
    DerElement signer;
};

// The RSA public key of the certificate among `certificates` that the
// signer names by its issuer and serial number.
struct RsaKey {
    std::vector<uint8_t> modulus;
    std::vector<uint8_t> exponent;
};

RsaKey signersKey(const std::vector<uint8_t>& bytes, const std::optional<DerElement>& certificates,
                  const std::vector<uint8_t>& issuer, const std::vector<uint8_t>& serial) {
    if (!certificates) {
        VK_THROW_DAMAGED("its signature carries no certificate");
    }
    for (DerReader all(bytes, *certificates); !all.atEnd();) {
        const DerElement certificate = all.next("certificate");
        if (certificate.tag != derSequence) {
            continue;
        }
        DerReader outer(bytes, certificate);
        DerReader tbs(bytes, outer.next(derSequence, "certificate's content"));
        DerElement serialNumber = tbs.next("certificate's serial number");
        if (serialNumber.tag == derContext0) {
            serialNumber = tbs.next(derInteger, "certificate's serial number");
        }
        tbs.next(derSequence, "certificate's algorithm");
        const DerElement certificateIssuer = tbs.next(derSequence, "certificate's issuer");
        if (contentOf(bytes, serialNumber) != serial || wholeOf(bytes, certificateIssuer) != issuer) {
            continue;
        }
        tbs.next(derSequence, "certificate's validity");
        tbs.next(derSequence, "certificate's subject");
        DerReader publicKeyInfo(bytes, tbs.next(derSequence, "certificate's public key"));
        const DerElement keyAlgorithm =
            algorithmOf(bytes, publicKeyInfo.next(derSequence, "public key's algorithm"), "public key's algorithm");
        if (!publicKeyInfo.holds(keyAlgorithm, rsaEncryption)) {
            VK_THROW_DAMAGED("its signer's key is not RSA, the one velkin-pack checks");
        }
        const DerElement keyBits = publicKeyInfo.next(derBitString, "public key");
        if (keyBits.size() < 1 || bytes[keyBits.begin] != 0) {
            VK_THROW_DAMAGED("its signer's public key is no whole number of bytes");
        }
        DerReader keyOuter(bytes, keyBits.begin + 1, keyBits.end);
        DerReader key(bytes, keyOuter.next(derSequence, "RSA public key"));
        RsaKey result{unsignedInteger(bytes, key.next(derInteger, "RSA modulus")),
                      unsignedInteger(bytes, key.next(derInteger, "RSA exponent"))};
        if (result.modulus.size() < smallestModulus || result.modulus.size() > largestModulus) {
            VK_THROW_DAMAGED("its signer's RSA key has " << result.modulus.size() * 8
                                                         << " bits or so, outside what Windows takes (1024 to 16384)");
        }
        if (result.exponent.empty() || result.exponent.size() > largestExponent || (result.exponent.back() & 1) == 0 ||
            (result.exponent.size() == 1 && result.exponent[0] == 1)) {
            VK_THROW_DAMAGED("its signer's RSA key has an exponent that no RSA key has");
        }
        return result;
    }
    VK_THROW_DAMAGED("its signer's certificate is not among those its signature carries");
}

// The value of the attribute of type `type` among a signer's authenticated
// attributes: its one value's element.
std::optional<DerElement> attribute(const std::vector<uint8_t>& bytes, const DerElement& attributes,
                                    const std::vector<uint8_t>& type, const char* what) {
    std::optional<DerElement> found;
    for (DerReader all(bytes, attributes); !all.atEnd();) {
        DerReader one(bytes, all.next(derSequence, "authenticated attribute"));
        if (!one.holds(one.next(derObjectIdentifier, "attribute's type"), type)) {
            continue;
        }
        DerReader values(bytes, one.next(derSet, "attribute's values"));
        const DerElement value = values.next(what);
        if (found || !values.atEnd()) {
            VK_THROW_DAMAGED("its signature's attributes hold more than one " << what);
        }
        found = value;
    }
    return found;
}

void verifySigner(const std::vector<uint8_t>& bytes, const SignedParts& parts) {
    DerReader signer(bytes, parts.signer);
    signer.next(derInteger, "signer's version");
    DerReader issuerAndSerial(bytes, signer.next(derSequence, "signer's issuer and serial number"));
    const std::vector<uint8_t> issuer = wholeOf(bytes, issuerAndSerial.next(derSequence, "signer's issuer"));
    const std::vector<uint8_t> serial = contentOf(bytes, issuerAndSerial.next(derInteger, "signer's serial number"));
    const DerElement digestAlgorithm =
        algorithmOf(bytes, signer.next(derSequence, "signer's digest algorithm"), "signer's digest algorithm");
    if (!signer.holds(digestAlgorithm, sha256Algorithm)) {
        VK_THROW_DAMAGED("its signer's digest is not SHA-256, the one velkin-pack checks");
    }
    bool named = false;
    for (DerReader algorithms(bytes, parts.digestAlgorithms); !algorithms.atEnd();) {
        named = named || algorithms.holds(algorithmOf(bytes, algorithms.next(derSequence, "digest algorithm"),
                                                      "digest algorithm"),
                                          sha256Algorithm);
    }
    if (!named) {
        VK_THROW_DAMAGED("its signature's digest algorithms do not name its signer's");
    }
    const DerElement attributes = signer.next("authenticated attributes");
    if (attributes.tag != derContext0) {
        VK_THROW_DAMAGED("its signer has no authenticated attributes");
    }
    const DerElement signatureAlgorithm = algorithmOf(
        bytes, signer.next(derSequence, "signer's signature algorithm"), "signer's signature algorithm");
    if (!signer.holds(signatureAlgorithm, rsaEncryption) && !signer.holds(signatureAlgorithm, sha256WithRsa)) {
        VK_THROW_DAMAGED("its signer's signature is not RSA, the one velkin-pack checks");
    }
    const std::vector<uint8_t> value = contentOf(bytes, signer.next(derOctetString, "signature value"));

    const std::optional<DerElement> contentType =
        attribute(bytes, attributes, contentTypeAttribute, "content type");
    if (!contentType || contentType->tag != derObjectIdentifier || contentOf(bytes, *contentType) != indirectDataType) {
        VK_THROW_DAMAGED("its signature's attributes do not name Authenticode's indirect data as what it signs");
    }
    const std::optional<DerElement> messageDigest =
        attribute(bytes, attributes, messageDigestAttribute, "message digest");
    if (!messageDigest || messageDigest->tag != derOctetString) {
        VK_THROW_DAMAGED("its signature's attributes hold no digest of what it signs");
    }
    // The digest of the indirect data covers its content, not its tag and
    // length.
    Sha256 indirect;
    indirect.add(bytes.data() + parts.indirectData.begin, parts.indirectData.size());
    const std::array<uint8_t, 32> indirectDigest = indirect.finish();
    if (contentOf(bytes, *messageDigest) != std::vector<uint8_t>(indirectDigest.begin(), indirectDigest.end())) {
        VK_THROW_DAMAGED("its signature's attributes hold another digest than that of what it signs");
    }

    const RsaKey key = signersKey(bytes, parts.certificates, issuer, serial);
    if (value.size() != key.modulus.size()) {
        VK_THROW_DAMAGED("its signature value has " << value.size() << " bytes, its key's " << key.modulus.size());
    }
    // What is signed is the attributes as a SET, not as the [0] that holds
    // them in the signer.
    std::vector<uint8_t> signedAttributes = wholeOf(bytes, attributes);
    signedAttributes[0] = derSet;
    if (!rsaSha256SignatureVerifies(key.modulus, key.exponent, signedAttributes.data(), signedAttributes.size(),
                                    value)) {
        VK_THROW_DAMAGED("its signature does not verify with its certificate's key");
    }
}

} // namespace

std::optional<std::array<uint8_t, 32>> signedFileDigest(const std::vector<uint8_t>& table, size_t begin, size_t end,
                                                         bool verify) {
    DerReader entry(table, begin, end);
    const DerElement contentInfo = entry.next(derSequence, "ContentInfo");
    // Behind it at most the entry's padding.
    if (end - entry.position() >= 8 ||
        !std::all_of(table.begin() + static_cast<ptrdiff_t>(entry.position()),
                     table.begin() + static_cast<ptrdiff_t>(end), [](uint8_t b) { return b == 0; })) {
        VK_THROW_DAMAGED("its certificate entry holds more than its signature");
    }
    DerReader info(table, contentInfo);
    if (!info.holds(info.next(derObjectIdentifier, "content type"), signedDataType)) {
        VK_THROW_DAMAGED("its signature is no PKCS#7 SignedData");
    }
    DerReader wrapped(table, info.next(derContext0, "SignedData"));
    DerReader signedData(table, wrapped.next(derSequence, "SignedData"));
    signedData.next(derInteger, "SignedData version");
    SignedParts parts{};
    parts.digestAlgorithms = signedData.next(derSet, "digest algorithms");
    DerReader content(table, signedData.next(derSequence, "signed content"));
    if (!content.holds(content.next(derObjectIdentifier, "signed content type"), indirectDataType)) {
        VK_THROW_DAMAGED("its signature signs no Authenticode indirect data");
    }
    DerReader explicitContent(table, content.next(derContext0, "indirect data"));
    parts.indirectData = explicitContent.next(derSequence, "indirect data");
    DerReader indirect(table, parts.indirectData);
    indirect.next(derSequence, "indirect data's type");
    DerReader digestInfo(table, indirect.next(derSequence, "digest"));
    DerReader algorithm(table, digestInfo.next(derSequence, "digest algorithm"));
    const bool sha256 = algorithm.holds(algorithm.next(derObjectIdentifier, "digest algorithm"), sha256Algorithm);
    const DerElement digest = digestInfo.next(derOctetString, "digest");
    // The certificates and revocation lists are optional; the signers are
    // not.
    DerElement signers = signedData.next("signer infos");
    if (signers.tag == derContext0) {
        parts.certificates = signers;
        signers = signedData.next("signer infos");
    }
    if (signers.tag == derContext1) {
        signers = signedData.next("signer infos");
    }
    if (signers.tag != derSet || signers.begin == signers.end) {
        VK_THROW_DAMAGED("its signature names no signer");
    }
    DerReader signerInfos(table, signers);
    parts.signer = signerInfos.next(derSequence, "signer info");
    if (!signerInfos.atEnd()) {
        VK_THROW_DAMAGED("its signature names more than one signer");
    }
    if (!sha256 || digest.size() != 32) {
        return std::nullopt;
    }
    if (verify) {
        verifySigner(table, parts);
    }
    std::array<uint8_t, 32> result{};
    std::copy(table.begin() + static_cast<ptrdiff_t>(digest.begin), table.begin() + static_cast<ptrdiff_t>(digest.end),
              result.begin());
    return result;
}
