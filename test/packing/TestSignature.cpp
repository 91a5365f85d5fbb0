#include "TestSignature.h"

#include "Sha256.h"
#include "TestRsa.h"

#include <initializer_list>

namespace {

uint32_t get32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

void put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

std::vector<uint8_t> der(uint8_t tag, const std::vector<uint8_t>& content) {
    std::vector<uint8_t> element;
    element.reserve(content.size() + 4);
    element.push_back(tag);
    if (content.size() >= 0x100) {
        element.push_back(0x82);
        element.push_back(static_cast<uint8_t>(content.size() >> 8));
    } else if (content.size() >= 0x80) {
        element.push_back(0x81);
    }
    element.push_back(static_cast<uint8_t>(content.size()));
    for (const uint8_t byte : content) {
        element.push_back(byte);
    }
    return element;
}

std::vector<uint8_t> joined(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const std::vector<uint8_t>& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

std::vector<uint8_t> sequence(std::initializer_list<std::vector<uint8_t>> parts) { return der(0x30, joined(parts)); }

std::vector<uint8_t> set(std::initializer_list<std::vector<uint8_t>> parts) { return der(0x31, joined(parts)); }

const std::vector<uint8_t> sha256Algorithm =
    sequence({der(0x06, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01}), der(0x05, {})});
const std::vector<uint8_t> rsaAlgorithm =
    sequence({der(0x06, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01}), der(0x05, {})});
const std::vector<uint8_t> indirectDataType = der(0x06, {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04});

// What the signer signs of the indirect data: its content, without its
// tag and length.
std::vector<uint8_t> contentDigest(const std::vector<uint8_t>& element) {
    const size_t header = element[1] & 0x80 ? 2 + (element[1] & 0x7F) : 2;
    Sha256 sum;
    sum.add(element.data() + header, element.size() - header);
    const std::array<uint8_t, 32> digest = sum.finish();
    return std::vector<uint8_t>(digest.begin(), digest.end());
}

std::vector<uint8_t> signerInfo(const std::vector<uint8_t>& indirectData) {
    const std::vector<uint8_t> attributes = joined(
        {sequence({der(0x06, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03}), set({indirectDataType})}),
         sequence({der(0x06, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04}),
                   set({der(0x04, contentDigest(indirectData))})})});
    return sequence({der(0x02, {1}), sequence({TestRsa::issuer(), der(0x02, TestRsa::serialNumber())}),
                     sha256Algorithm, der(0xA0, attributes), rsaAlgorithm,
                     der(0x04, TestRsa::sign(der(0x31, attributes)))});
}

std::vector<uint8_t> testSignedData(const std::vector<uint8_t>& type, const std::array<uint8_t, 32>& digest) {
    const std::vector<uint8_t> indirectData =
        sequence({sequence({type}), sequence({sha256Algorithm, der(0x04, std::vector<uint8_t>(digest.begin(), digest.end()))})});
    const std::vector<uint8_t> signedData =
        sequence({der(0x02, {1}), set({sha256Algorithm}), sequence({indirectDataType, der(0xA0, indirectData)}),
                  der(0xA0, TestRsa::certificate()), set({signerInfo(indirectData)})});
    return sequence({der(0x06, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02}), der(0xA0, signedData)});
}

} // namespace

std::vector<uint8_t> testPackageSignature(const std::array<uint8_t, 32>& digest) {
    // SPC_SIPINFO_OBJID: what a package's indirect data names.
    return testSignedData(der(0x06, {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x1E}), digest);
}

std::vector<uint8_t> withTestSignature(std::vector<uint8_t> program) {
    program.resize((program.size() + 7) / 8 * 8, 0);
    const size_t headers = get32(program, 0x3C) + 24;
    const size_t checksum = headers + 64;
    const size_t directory = headers + 112 + 8 * 4;
    Sha256 sum;
    sum.add(program.data(), checksum);
    sum.add(program.data() + checksum + 4, directory - checksum - 4);
    sum.add(program.data() + directory + 8, program.size() - directory - 8);
    const std::array<uint8_t, 32> digest = sum.finish();

    const std::vector<uint8_t> contentInfo =
        testSignedData(der(0x06, {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0F}), digest);

    std::vector<uint8_t> entry(8, 0);
    put32(entry, 0, static_cast<uint32_t>(8 + contentInfo.size()));
    entry[4] = 0x00;
    entry[5] = 0x02;
    entry[6] = 0x02;
    entry.insert(entry.end(), contentInfo.begin(), contentInfo.end());
    entry.resize((entry.size() + 7) / 8 * 8, 0);
    put32(program, directory, static_cast<uint32_t>(program.size()));
    put32(program, directory + 4, static_cast<uint32_t>(entry.size()));
    program.insert(program.end(), entry.begin(), entry.end());
    return program;
}
