#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The test signer's RSA key (1024 bits, made with openssl for these tests
// alone) and its self-signed certificate: what the tests' signatures are
// made with on both hosts, in plain C++ so that no host's library decides
// what the checker's library then judges.
namespace TestRsa {

// The certificate, DER.
std::vector<uint8_t> certificate();
// Its issuer (a Name, DER) and serial number (the INTEGER's content).
std::vector<uint8_t> issuer();
std::vector<uint8_t> serialNumber();
// The key's modulus, big-endian: where a test finds the key in a signature.
std::vector<uint8_t> modulus();
// The RSA signature (PKCS #1 v1.5) of `message`'s SHA-256 digest.
std::vector<uint8_t> sign(const std::vector<uint8_t>& message);

} // namespace TestRsa
