#include "CompoundFile.h"

namespace {

// The format upper-cases as Windows does, by a table; this holds its part
// for the Latin, Greek and Cyrillic letters. Windows Installer's own names
// lie in a range without case, so the table decides only names that people
// chose.
char16_t upper(char16_t unit) {
    if ((unit >= u'a' && unit <= u'z') || (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7) ||
        (unit >= 0x3B1 && unit <= 0x3CB && unit != 0x3C2) || (unit >= 0x430 && unit <= 0x44F)) {
        return static_cast<char16_t>(unit - 0x20);
    }
    if (unit == 0xFF) {
        return 0x178;
    }
    if (unit == 0x3C2) {
        return 0x3A3;
    }
    if (unit >= 0x450 && unit <= 0x45F) {
        return static_cast<char16_t>(unit - 0x50);
    }
    // Latin Extended-A pairs its capitals and small letters: even then odd,
    // except in the two runs that pair odd then even.
    const bool oddPairs = (unit >= 0x139 && unit <= 0x148) || (unit >= 0x179 && unit <= 0x17E);
    if (unit >= 0x100 && unit <= 0x17F && unit != 0x130 && unit != 0x131 && unit != 0x138 && unit != 0x149 &&
        unit != 0x17F && (unit % 2 == 0) == oddPairs) {
        return static_cast<char16_t>(unit - 1);
    }
    return unit;
}

template <typename Child>
const Child* findChild(const std::vector<Child>& children, const std::u16string& name) {
    for (const Child& child : children) {
        if (child.name == name) {
            return &child;
        }
    }
    return nullptr;
}

} // namespace

const CompoundStream* findStream(const CompoundStorage& storage, const std::u16string& name) {
    return findChild(storage.streams, name);
}

const CompoundStorage* findStorage(const CompoundStorage& storage, const std::u16string& name) {
    return findChild(storage.storages, name);
}

int compareEntryNames(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const char16_t left = upper(a[i]);
        const char16_t right = upper(b[i]);
        if (left != right) {
            return left < right ? -1 : 1;
        }
    }
    return 0;
}
