#include "MultilingualPackage.h"

#include "DamagedFile.h"
#include "MsiStreamName.h"
#include "SummaryInformation.h"

#include <cstdio>
#include <memory>

std::string multilingualTemplate(const std::string& baseTemplate, uint16_t baseLanguage,
                                 const std::vector<uint16_t>& variants) {
    const size_t semicolon = baseTemplate.find(';');
    std::string text = (semicolon == std::string::npos ? baseTemplate : baseTemplate.substr(0, semicolon)) + ";" +
                       std::to_string(baseLanguage);
    for (const uint16_t language : variants) {
        text += "," + std::to_string(language);
    }
    return text;
}

CompoundStorage multilingualPackage(const MultilingualParts& parts) {
    const CompoundStream* summary = findStream(parts.base, summaryInformationStream);
    if (!summary) {
        VK_THROW_DAMAGED("it has no summary information");
    }
    std::vector<uint16_t> languages;
    for (const LanguageTransform& variant : parts.variants) {
        languages.push_back(variant.language);
    }
    const std::string baseTemplate = SummaryInformation::read(*summary->bytes).text(SummaryInformation::Template);

    CompoundStorage package;
    package.clsid = parts.base.clsid;
    for (const CompoundStream& stream : parts.base.streams) {
        if (parts.dropSignature && isSignatureStream(stream.name)) {
            continue;
        }
        if (stream.name != summaryInformationStream) {
            package.streams.push_back(stream);
            continue;
        }
        package.streams.push_back(CompoundStream{
            stream.name, std::make_shared<OwnedBytes>(replaceSummaryTexts(
                             *stream.bytes, {{SummaryInformation::Template,
                                              multilingualTemplate(baseTemplate, parts.baseLanguage, languages)},
                                             {SummaryInformation::RevisionNumber, parts.packageCode}}))});
    }
    package.storages = parts.base.storages;
    for (const LanguageTransform& variant : parts.variants) {
        CompoundStorage storage = variant.transform;
        const std::string name = std::to_string(variant.language);
        storage.name.assign(name.begin(), name.end());
        // A storage of the base by that name is replaced, as embedding a
        // transform anew replaces the one before.
        for (auto it = package.storages.begin(); it != package.storages.end(); ++it) {
            if (compareEntryNames(it->name, storage.name) == 0) {
                package.storages.erase(it);
                break;
            }
        }
        package.storages.push_back(std::move(storage));
    }
    return package;
}

std::string nameBasedGuid(const std::array<uint8_t, 32>& digest) {
    std::array<uint8_t, 16> bytes{};
    std::copy(digest.begin(), digest.begin() + 16, bytes.begin());
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x50);
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
    char text[39];
    std::snprintf(text, sizeof(text), "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9],
                  bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}
