#include "SamePackage.h"

namespace {

std::string property(const RawPackageFacts& facts, const wchar_t* name) {
    const auto found = facts.properties.find(name);
    return found == facts.properties.end() ? std::string("none") : tstrings::toUtf8(found->second);
}

bool sameDisks(const std::vector<RawPackageFacts::Disk>& a, const std::vector<RawPackageFacts::Disk>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].lastSequence != b[i].lastSequence || a[i].cabinet != b[i].cabinet) {
            return false;
        }
    }
    return true;
}

bool sameFiles(const std::vector<RawPackageFacts::File>& a, const std::vector<RawPackageFacts::File>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].fileName != b[i].fileName || a[i].attributes != b[i].attributes || a[i].sequence != b[i].sequence) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string differenceFromOriginal(const RawPackageFacts& original, const RawPackageFacts& copy) {
    if (property(copy, L"ProductCode") != property(original, L"ProductCode")) {
        return "its ProductCode " + property(copy, L"ProductCode") + " is not " + property(original, L"ProductCode");
    }
    if (copy.revisionNumber != original.revisionNumber) {
        return "its PackageCode " + tstrings::toUtf8(copy.revisionNumber) + " is not " +
               tstrings::toUtf8(original.revisionNumber);
    }
    if (copy.properties != original.properties) {
        return "its Property table differs";
    }
    if (!sameDisks(copy.disks, original.disks)) {
        return "its Media table differs";
    }
    if (!sameFiles(copy.files, original.files)) {
        return "its File table differs";
    }
    if (copy.wordCount != original.wordCount || copy.subject != original.subject ||
        copy.comments != original.comments || copy.platformTemplate != original.platformTemplate) {
        return "its summary information differs";
    }
    return std::string();
}
