#include "Sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string sumOf(const std::string& text) {
    Sha256 sum;
    sum.add(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return Sha256::hex(sum.finish());
}

// FIPS 180-4's examples and the lengths around a block's padding boundary
// (55, 56 and 64 bytes), against sums from sha256sum.
TEST(Sha256Test, KnownSums) {
    const struct {
        std::string text;
        const char* sum;
    } cases[] = {
        {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
        {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
        {std::string(55, 'x'), "D5E285683CD4EFC02D021A5C62014694958901005D6F71E89E0989FAC77E4072"},
        {std::string(56, 'x'), "04C26261370EE7541549D16DEE320C723E3FD14671E66A099AFE0A377C16888E"},
        {std::string(64, 'x'), "7CE100971F64E7001E8FE5A51973ECDFE1CED42BEFE7EE8D5FD6219506B5393C"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.sum, sumOf(c.text)) << c.text.size() << " bytes";
    }
}

TEST(Sha256Test, AMillionBytes) {
    EXPECT_EQ("CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0", sumOf(std::string(1000000, 'a')));
}

// Fed in two pieces split anywhere, the sum is that of the whole.
TEST(Sha256Test, PiecesSumAsTheWhole) {
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += static_cast<char>(i * 7);
    }
    const std::string whole = sumOf(text);
    for (size_t split = 0; split <= text.size(); ++split) {
        Sha256 sum;
        sum.add(reinterpret_cast<const uint8_t*>(text.data()), split);
        sum.add(reinterpret_cast<const uint8_t*>(text.data()) + split, text.size() - split);
        EXPECT_EQ(whole, Sha256::hex(sum.finish())) << "split at " << split;
    }
}

} // namespace
