#include "FactsMessage.h"

#include "DamagedFile.h"

#include <cstring>

namespace {

class Writer {
public:
    void number(uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes_ += static_cast<char>(value >> shift);
        }
    }
    void text(const tstring& value) {
        const std::string utf8 = tstrings::toUtf8(value);
        number(static_cast<uint32_t>(utf8.size()));
        bytes_ += utf8;
    }
    std::string take() { return std::move(bytes_); }

private:
    std::string bytes_;
};

class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}

    uint32_t number() {
        need(4);
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= uint32_t{static_cast<uint8_t>(bytes_[at_++])} << (8 * i);
        }
        return value;
    }
    int32_t integer() { return static_cast<int32_t>(number()); }
    tstring text() {
        const uint32_t size = number();
        need(size);
        const std::string utf8 = bytes_.substr(at_, size);
        at_ += size;
        return tstrings::fromUtf8(utf8);
    }
    // A count of items of at least `itemSize` bytes each: never more than
    // the bytes left can hold.
    uint32_t count(size_t itemSize) {
        const uint32_t value = number();
        need(uint64_t{value} * itemSize);
        return value;
    }
    void end() const {
        if (at_ != bytes_.size()) {
            garbled();
        }
    }

private:
    [[noreturn]] static void garbled() { VK_THROW_MSG("the reader's answer is garbled"); }
    void need(uint64_t size) const {
        if (size > bytes_.size() - at_) {
            garbled();
        }
    }

    const std::string& bytes_;
    size_t at_ = 0;
};

} // namespace

std::string encodeFacts(const RawPackageFacts& facts) {
    Writer out;
    out.number(static_cast<uint32_t>(facts.properties.size()));
    for (const auto& [name, value] : facts.properties) {
        out.text(name);
        out.text(value);
    }
    out.text(facts.repeatedProperty);
    out.text(facts.revisionNumber);
    out.number(static_cast<uint32_t>(facts.wordCount));
    out.number(static_cast<uint32_t>(facts.disks.size()));
    for (const RawPackageFacts::Disk& disk : facts.disks) {
        out.number(static_cast<uint32_t>(disk.lastSequence));
        out.text(disk.cabinet);
    }
    out.number(static_cast<uint32_t>(facts.files.size()));
    for (const RawPackageFacts::File& file : facts.files) {
        out.text(file.fileName);
        out.number(static_cast<uint32_t>(file.attributes));
        out.number(static_cast<uint32_t>(file.sequence));
    }
    out.number(facts.isSigned ? 1 : 0);
    out.text(facts.subject);
    out.text(facts.comments);
    out.text(facts.platformTemplate);
    return out.take();
}

RawPackageFacts decodeFacts(const std::string& message) {
    Reader in(message);
    RawPackageFacts facts;
    for (uint32_t i = in.count(8); i > 0; --i) {
        const tstring name = in.text();
        facts.properties[name] = in.text();
    }
    facts.repeatedProperty = in.text();
    facts.revisionNumber = in.text();
    facts.wordCount = in.integer();
    for (uint32_t i = in.count(8); i > 0; --i) {
        const int32_t lastSequence = in.integer();
        facts.disks.push_back(RawPackageFacts::Disk{lastSequence, in.text()});
    }
    for (uint32_t i = in.count(12); i > 0; --i) {
        const tstring fileName = in.text();
        const int32_t attributes = in.integer();
        facts.files.push_back(RawPackageFacts::File{fileName, attributes, in.integer()});
    }
    facts.isSigned = in.number() != 0;
    facts.subject = in.text();
    facts.comments = in.text();
    facts.platformTemplate = in.text();
    in.end();
    return facts;
}

RawPackageFacts factsFromReader(const std::function<std::string()>& answer, const tstring& shownPath) {
    try {
        return decodeFacts(answer());
    } catch (const VkError<DamagedFileError>& e) {
        VK_THROW_DAMAGED(shownPath << " is not a Windows Installer package (" << e.originalMessage() << ")");
    } catch (const VkErrorBase& e) {
        VK_THROW_MSG(shownPath << " cannot be read: " << e.originalMessage());
    }
}
