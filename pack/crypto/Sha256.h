#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// SHA-256, fed in pieces of any size: what winget records of an installer
// and Intune of its content, computed while the file streams past, and the
// digest that an Authenticode signature holds of its file. From
// each host's library (OpenSSL's libcrypto, CNG), which use the processor's
// SHA instructions where it has them.
class Sha256 {
public:
    Sha256();
    ~Sha256();

    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(const uint8_t* bytes, size_t size);
    // Ends the sum; the object takes no more bytes after it.
    std::array<uint8_t, 32> finish();

    // The sum as 64 upper-case hex digits.
    static std::string hex(const std::array<uint8_t, 32>& digest);

    struct State;

private:
    std::unique_ptr<State> state_;
};
