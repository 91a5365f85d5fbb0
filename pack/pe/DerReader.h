#pragma once

#include "DamagedFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// DER's tags, as a signature uses them.
enum DerTag : uint8_t {
    derInteger = 0x02,
    derBitString = 0x03,
    derOctetString = 0x04,
    derObjectIdentifier = 0x06,
    derSequence = 0x30,
    derSet = 0x31,
    derContext0 = 0xA0,
    derContext1 = 0xA1,
};

// A DER element: where its tag lies and where its content does.
struct DerElement {
    uint8_t tag;
    size_t start;
    size_t begin;
    size_t end;

    size_t size() const { return end - begin; }
};

// Reads the elements between two offsets of a buffer, one after the other;
// every length is checked against what holds it, and only DER's definite
// lengths are taken. A signature that breaks the form throws a
// DamagedFileError naming the part.
class DerReader {
public:
    DerReader(const std::vector<uint8_t>& bytes, size_t begin, size_t end) : bytes_(bytes), at_(begin), end_(end) {}
    DerReader(const std::vector<uint8_t>& bytes, const DerElement& element)
        : DerReader(bytes, element.begin, element.end) {}

    bool atEnd() const { return at_ >= end_; }
    size_t position() const { return at_; }

    DerElement next(const char* what) {
        if (at_ + 2 > end_) {
            VK_THROW_DAMAGED("its signature ends where its " << what << " belongs");
        }
        const size_t start = at_;
        const uint8_t tag = bytes_[at_];
        size_t at = at_ + 1;
        size_t length = bytes_[at++];
        if (length & 0x80) {
            const size_t count = length & 0x7F;
            if (count == 0 || count > 4) {
                VK_THROW_DAMAGED("its signature is no DER: its " << what << " has no definite length");
            }
            length = 0;
            for (size_t i = 0; i < count; ++i) {
                if (at >= end_) {
                    VK_THROW_DAMAGED("its signature ends in the length of its " << what);
                }
                length = length << 8 | bytes_[at++];
            }
        }
        if (length > end_ - at) {
            VK_THROW_DAMAGED("its signature's " << what << " runs past what holds it");
        }
        at_ = at + length;
        return DerElement{tag, start, at, at + length};
    }

    DerElement next(uint8_t tag, const char* what) {
        const DerElement element = next(what);
        if (element.tag != tag) {
            VK_THROW_DAMAGED("its signature has no " << what << " where one belongs");
        }
        return element;
    }

    bool holds(const DerElement& element, const std::vector<uint8_t>& content) const {
        return element.size() == content.size() &&
               std::equal(content.begin(), content.end(), bytes_.begin() + static_cast<ptrdiff_t>(element.begin));
    }

private:
    const std::vector<uint8_t>& bytes_;
    size_t at_;
    size_t end_;
};
