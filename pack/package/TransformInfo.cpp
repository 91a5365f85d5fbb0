#include "TransformInfo.h"

#include "CompoundFileReader.h"
#include "LanguageTags.h"
#include "MsiStreamName.h"
#include "SummaryInformation.h"
#include "TransformBuilder.h"

namespace {

// The language a Template names first: "x64;1033" gives 1033.
std::optional<uint32_t> languageOf(const std::string& platformTemplate) {
    const std::vector<uint32_t> languages = templateLanguages(platformTemplate);
    return languages.empty() ? std::nullopt : std::optional<uint32_t>(languages.front());
}

// "{base code}base version;{new code}new version;{upgrade code}".
void readRevision(const std::string& revision, TransformInfo& info) {
    const auto part = [&revision](size_t index) {
        size_t start = 0;
        for (size_t i = 0; i < index && start != std::string::npos; ++i) {
            start = revision.find(';', start);
            start = start == std::string::npos ? start : start + 1;
        }
        return start == std::string::npos ? std::string() : revision.substr(start, revision.find(';', start) - start);
    };
    const auto split = [](const std::string& codeAndVersion, tstring& code, tstring& version) {
        const size_t brace = codeAndVersion.find('}');
        if (!codeAndVersion.empty() && codeAndVersion[0] == '{' && brace != std::string::npos) {
            code = tstrings::fromUtf8(codeAndVersion.substr(0, brace + 1));
            version = tstrings::fromUtf8(codeAndVersion.substr(brace + 1));
        }
    };
    split(part(0), info.baseProductCode, info.baseProductVersion);
    split(part(1), info.productCode, info.productVersion);
    info.upgradeCode = tstrings::fromUtf8(part(2));
}

} // namespace

std::optional<TransformInfo> readTransformInfo(const ByteSource& file, uint64_t offset, uint64_t size) {
    const CompoundFileReader reader(file, offset, size);
    const CompoundStorage& root = reader.root();
    if (root.clsid != transformClsid) {
        return std::nullopt;
    }
    TransformInfo info;
    for (const CompoundStream& stream : root.streams) {
        bool isTable = false;
        const std::string name = MsiStreamName::decode(stream.name, isTable);
        if (isTable && name != "_StringPool" && name != "_StringData") {
            info.tables.push_back(tstrings::fromUtf8(name));
        }
    }
    if (const CompoundStream* stream = findStream(root, summaryInformationStream)) {
        const SummaryInformation summary = SummaryInformation::read(*stream->bytes);
        info.baseLanguage = languageOf(summary.text(SummaryInformation::Template));
        info.language = languageOf(summary.text(SummaryInformation::LastSavedBy));
        readRevision(summary.text(SummaryInformation::RevisionNumber), info);
        const auto count = summary.integers.find(SummaryInformation::CharacterCount);
        if (count != summary.integers.end()) {
            info.validation = static_cast<uint32_t>(count->second) >> 16;
            info.errorConditions = static_cast<uint32_t>(count->second) & 0xFFFF;
        }
    }
    return info;
}
