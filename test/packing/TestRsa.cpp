#include "TestRsa.h"

#include "Sha256.h"

#include <algorithm>

namespace {

std::vector<uint8_t> fromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t at = 0; at + 1 < hex.size(); at += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(at, 2), nullptr, 16)));
    }
    return bytes;
}

const char* const certificateHex =
    "3082021830820181a00302010202144590cd8945091909c64e88d7f133649f9b6b0ed6300d06092a864886f70d01010b0500301d311b"
    "301906035504030c1256656c6b696e2054657374205369676e65723020170d3236313230383230303530365a180f3231323631313134"
    "3230303530365a301d311b301906035504030c1256656c6b696e2054657374205369676e657230819f300d06092a864886f70d010101"
    "050003818d0030818902818100a968722eff7ed209bf4f5718983f2f9a0f97ec8c02b408851d85deab6cd3e044ace596d846ec246c17"
    "9f490033878f221202c8908e4f9d1af2cd7157f1c178e99b366c7c91c662883eafbc96432afdff7858250172aff62ae7b4f443bac45e"
    "019e4675701d2db903348703015007b4cc1ec3e42d496c5ad0a56d734c484cf89d0203010001a3533051301d0603551d0e0416041488"
    "c5ca1fa391bd875bafa09bbd66bbf92fdbbfd1301f0603551d2304183016801488c5ca1fa391bd875bafa09bbd66bbf92fdbbfd1300f"
    "0603551d130101ff040530030101ff300d06092a864886f70d01010b05000381810046e8d086594e6557e4963b55bd7f2fb3962e4346"
    "5d547039a5f901b391f14bef817d5714c5eab5640d412fdcc4d362b9764a49ee210e94022f2e12622335f9b49d2617d51e707d50db2c"
    "ec33779ea40fa19bf0907f935919306f51a0dc3d39775033b4f3e79d96f1c4dac1d5ae63c2f1fa903c95f5915bcff175b0e32fd6e082";
const char* const modulusHex =
    "a968722eff7ed209bf4f5718983f2f9a0f97ec8c02b408851d85deab6cd3e044ace596d846ec246c179f490033878f221202c8908e4f"
    "9d1af2cd7157f1c178e99b366c7c91c662883eafbc96432afdff7858250172aff62ae7b4f443bac45e019e4675701d2db90334870301"
    "5007b4cc1ec3e42d496c5ad0a56d734c484cf89d";
const char* const prime1Hex =
    "d52c52bf4f588c07c605f926ccd89dd0fabb3f4d0210500c588fe85c4a6b8603c58c184295b8f1e8aad51be91cba7189812ac280b426"
    "e97a99aa1bf36b180307";
const char* const prime2Hex =
    "cb713e7354477e7843ed89852b20487e8e108afed65117f507b92bba2cc29cd4e777f9f77b1be5c5cf9795b4e8137c6c328180f6bc64"
    "7a96b17698b461aa0a3b";
const char* const exponent1Hex =
    "c765dc48e2f95a9272e26779a9a6fd87dae087878ae4a35bc903633fe0c4cee87c425cf6fb81b1960725ac23d3217ace3a2a3b219461"
    "c9874a715a0fc91efec5";
const char* const exponent2Hex =
    "161e20b0ff27aaab3e8f539523c425bd848a6de218c0c63f0070f43d1062b4143d7a00b6142f4b42bf37f6b1ad4d7908765138091b20"
    "3d67a6b18316914ba043";
const char* const coefficientHex =
    "3da6da61d6b0c550323dd87ac280626a8e337bc8659851d3f8dbe52760ea82ba3c14ac6426ae5ac3dd577a8c68d83ca4cf99cc4b2961"
    "085d0b0fa018acb7356a";

// Unsigned numbers of 32-bit limbs, least significant first; slow and
// plain, enough for one signature per test.
using Number = std::vector<uint32_t>;

Number number(const std::vector<uint8_t>& bigEndian) {
    Number n((bigEndian.size() + 3) / 4, 0);
    for (size_t i = 0; i < bigEndian.size(); ++i) {
        n[i / 4] |= uint32_t{bigEndian[bigEndian.size() - 1 - i]} << (8 * (i % 4));
    }
    return n;
}

std::vector<uint8_t> bytesOf(const Number& n, size_t size) {
    std::vector<uint8_t> bytes(size, 0);
    for (size_t i = 0; i < size && i / 4 < n.size(); ++i) {
        bytes[size - 1 - i] = static_cast<uint8_t>(n[i / 4] >> (8 * (i % 4)));
    }
    return bytes;
}

bool bit(const Number& n, size_t i) { return (n[i / 32] >> (i % 32)) & 1; }

bool atLeast(const Number& a, const Number& b) {
    for (size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i]) {
            return a[i] > b[i];
        }
    }
    return true;
}

void subtract(Number& a, const Number& b) {
    uint64_t borrow = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const uint64_t difference = uint64_t{a[i]} - b[i] - borrow;
        a[i] = static_cast<uint32_t>(difference);
        borrow = (difference >> 32) & 1;
    }
}

void add(Number& a, const Number& b) {
    uint64_t carry = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const uint64_t sum = uint64_t{a[i]} + (i < b.size() ? b[i] : 0) + carry;
        a[i] = static_cast<uint32_t>(sum);
        carry = sum >> 32;
    }
}

void doubled(Number& a) {
    uint32_t carry = 0;
    for (uint32_t& limb : a) {
        const uint32_t next = limb >> 31;
        limb = limb << 1 | carry;
        carry = next;
    }
}

// `m` with one limb to spare, so that a sum below 2m fits.
Number widened(const Number& n, size_t limbs) {
    Number wide = n;
    wide.resize(limbs, 0);
    return wide;
}

// x mod m, a bit at a time.
Number reduced(const Number& x, const Number& m) {
    const Number modulus = widened(m, m.size() + 1);
    Number r(modulus.size(), 0);
    for (size_t i = x.size() * 32; i-- > 0;) {
        doubled(r);
        r[0] |= bit(x, i) ? 1 : 0;
        if (atLeast(r, modulus)) {
            subtract(r, modulus);
        }
    }
    return r;
}

// a * b mod m, for a and b below m (both as wide as `reduced` gives).
Number multiplied(const Number& a, const Number& b, const Number& modulus) {
    Number r(modulus.size(), 0);
    for (size_t i = (modulus.size() - 1) * 32; i-- > 0;) {
        doubled(r);
        if (atLeast(r, modulus)) {
            subtract(r, modulus);
        }
        if (bit(b, i)) {
            add(r, a);
            if (atLeast(r, modulus)) {
                subtract(r, modulus);
            }
        }
    }
    return r;
}

Number power(const Number& base, const Number& exponent, const Number& m) {
    const Number modulus = widened(m, m.size() + 1);
    Number result(modulus.size(), 0);
    result[0] = 1;
    for (size_t i = exponent.size() * 32; i-- > 0;) {
        result = multiplied(result, result, modulus);
        if (bit(exponent, i)) {
            result = multiplied(result, base, modulus);
        }
    }
    return result;
}

Number product(const Number& a, const Number& b) {
    Number r(a.size() + b.size(), 0);
    for (size_t i = 0; i < a.size(); ++i) {
        uint64_t carry = 0;
        for (size_t j = 0; j < b.size(); ++j) {
            const uint64_t sum = uint64_t{a[i]} * b[j] + r[i + j] + carry;
            r[i + j] = static_cast<uint32_t>(sum);
            carry = sum >> 32;
        }
        r[i + b.size()] = static_cast<uint32_t>(carry);
    }
    return r;
}

} // namespace

namespace TestRsa {

std::vector<uint8_t> certificate() { return fromHex(certificateHex); }

std::vector<uint8_t> issuer() {
    return fromHex("301d311b301906035504030c1256656c6b696e2054657374205369676e6572");
}

std::vector<uint8_t> serialNumber() { return fromHex("4590cd8945091909c64e88d7f133649f9b6b0ed6"); }

std::vector<uint8_t> modulus() { return fromHex(modulusHex); }

std::vector<uint8_t> sign(const std::vector<uint8_t>& message) {
    Sha256 sum;
    sum.add(message.data(), message.size());
    const std::array<uint8_t, 32> digest = sum.finish();
    // EMSA-PKCS1-v1_5: 00 01 FF.. 00, then SHA-256's DigestInfo.
    const size_t size = modulus().size();
    std::vector<uint8_t> encoded(size, 0xFF);
    encoded[0] = 0x00;
    encoded[1] = 0x01;
    const std::vector<uint8_t> digestInfo = fromHex("3031300d060960864801650304020105000420");
    const size_t tail = digestInfo.size() + digest.size();
    encoded[size - tail - 1] = 0x00;
    std::copy(digestInfo.begin(), digestInfo.end(), encoded.end() - static_cast<ptrdiff_t>(tail));
    std::copy(digest.begin(), digest.end(), encoded.end() - static_cast<ptrdiff_t>(digest.size()));

    // m^d mod n by the Chinese remainder theorem.
    const Number p = number(fromHex(prime1Hex));
    const Number q = number(fromHex(prime2Hex));
    const Number m = number(encoded);
    const Number s1 = power(reduced(m, p), number(fromHex(exponent1Hex)), p);
    const Number s2 = power(reduced(m, q), number(fromHex(exponent2Hex)), q);
    Number difference = widened(s1, p.size() + 1);
    add(difference, widened(p, p.size() + 1));
    const Number s2p = reduced(s2, p);
    subtract(difference, s2p);
    const Number h = multiplied(reduced(number(fromHex(coefficientHex)), p), reduced(difference, p),
                                widened(p, p.size() + 1));
    Number signature = product(h, q);
    add(signature, s2);
    return bytesOf(signature, size);
}

} // namespace TestRsa
