#include "Multilingual.h"

#include "CompoundFileOutput.h"
#include "CompoundFileWriter.h"
#include "DamagedFile.h"
#include "ErrorHandling.h"
#include "GuidText.h"
#include "InputChecks.h"
#include "LanguageChoice.h"
#include "MultilingualPackage.h"
#include "PackageSources.h"
#include "SetupWriter.h"
#include "Sha256.h"
#include "TransformInfo.h"
#include "TransformInputs.h"

#include <algorithm>
#include <cstdlib>

namespace {

// A transform given as LANGID=FILE.mst, read where it lies.
struct GivenTransform {
    explicit GivenTransform(const tstring& path) : path(path), file(path) {}

    tstring path;
    InputFile file;
    std::unique_ptr<CompoundFileReader> reader;
};

struct Variant {
    uint16_t language = 0;
    tstring path;
    std::unique_ptr<ReadPackage> package;
    std::unique_ptr<GivenTransform> given;
    TransformContents made;

    const CompoundStorage& transform() const { return given ? given->reader->root() : made.storage; }
};

// "1031=german.mst": the LANGID's digits and the file; nothing for a package.
bool splitGiven(const tstring& argument, tstring& digits, tstring& file) {
    const size_t equals = argument.find(L'=');
    if (equals == 0 || equals == tstring::npos) {
        return false;
    }
    digits = argument.substr(0, equals);
    file = argument.substr(equals + 1);
    return std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

uint16_t languageNumber(const tstring& digits, const tstring& argument) {
    const bool fits = digits.size() <= 5 && std::wcstoul(digits.c_str(), nullptr, 10) <= 0xFFFF;
    const uint32_t value = fits ? static_cast<uint32_t>(std::wcstoul(digits.c_str(), nullptr, 10)) : 0;
    if (!fits || !LanguageChoice::isLanguage(value)) {
        VK_THROW_MSG("--language " << argument << ": " << digits << " is no language (a LANGID such as 1031 for "
                                   << "German)");
    }
    return static_cast<uint16_t>(value);
}

// A package's language is its ProductLanguage, as the transform's summary
// names it.
uint16_t packageLanguage(const ReadPackage& package) {
    const std::string text = package.database->property("ProductLanguage");
    const bool digits = !text.empty() && text.size() <= 5 && text.find_first_not_of("0123456789") == std::string::npos;
    const uint32_t value = digits ? static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10)) : 0;
    if (!LanguageChoice::isLanguage(value)) {
        VK_THROW_MSG(package.path << " has the ProductLanguage " << (text.empty() ? "(none)" : text)
                                  << ", which is no language: a multilingual package names each of its "
                                  << "languages by a LANGID");
    }
    return static_cast<uint16_t>(value);
}

bool sameGuid(const tstring& a, const tstring& b) {
    const std::optional<tstring> left = canonicalGuid(a);
    return left && left == canonicalGuid(b);
}

} // namespace

struct MultilingualPlan::Inputs {
    std::unique_ptr<ReadPackage> base;
    uint16_t baseLanguage = 0;
    std::vector<Variant> variants;
    std::string packageCode;
};

namespace {

void readGiven(const MultilingualPlan::Inputs& inputs, Variant& variant, const tstring& argument) {
    variant.given.reset(new GivenTransform(variant.path));
    const ByteSource& file = variant.given->file;
    std::optional<TransformInfo> info;
    try {
        info = readTransformInfo(file, 0, file.size());
        variant.given->reader.reset(new CompoundFileReader(file, 0, file.size()));
    } catch (const VkError<DamagedFileError>& e) {
        VK_THROW_MSG("--language " << argument << ": " << variant.path << " is no transform: "
                                   << e.originalMessage());
    }
    if (!info) {
        VK_THROW_MSG("--language " << argument << ": " << variant.path
                                   << " is no transform (its storage class is not a transform's)");
    }
    if (file.size() > largestTransform) {
        VK_THROW_MSG("--language " << argument << ": " << variant.path << " has " << file.size()
                                   << " bytes, more than the 2 GiB a transform may have");
    }
    const PackageInfo& base = inputs.base->info;
    if (!sameGuid(info->baseProductCode, base.productCode) || !sameGuid(info->upgradeCode, base.upgradeCode)) {
        VK_THROW_MSG("--language " << argument << ": " << variant.path << " applies to the product "
                                   << (info->baseProductCode.empty() ? L"(none)" : info->baseProductCode)
                                   << " of UpgradeCode " << (info->upgradeCode.empty() ? L"(none)" : info->upgradeCode)
                                   << ", not to " << inputs.base->path << " (" << base.productCode << ")");
    }
    if (info->language && *info->language != variant.language) {
        VK_THROW_MSG("--language " << argument << ": " << variant.path << " makes the language "
                                   << *info->language << ", not " << variant.language);
    }
    if (info->baseLanguage && *info->baseLanguage != inputs.baseLanguage) {
        VK_THROW_MSG("--language " << argument << ": " << variant.path << " applies to the language "
                                   << *info->baseLanguage << ", and " << inputs.base->path << " is in "
                                   << inputs.baseLanguage);
    }
}

// A stream this large is a cabinet, or a file a row carries: its name, size,
// first and last bytes stand for it (a file that changes inside a cabinet
// changes the File table too, and the package's own PackageCode); reading
// every cabinet of every input once more would cost as much as the writing.
constexpr uint64_t sampledStream = uint64_t{1} << 20;
constexpr size_t sample = 64 * 1024;

void addNumber(Sha256& sum, uint64_t value) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
    sum.add(bytes, sizeof(bytes));
}

void addName(Sha256& sum, const std::u16string& name) {
    addNumber(sum, name.size());
    for (const char16_t unit : name) {
        const uint8_t bytes[] = {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)};
        sum.add(bytes, sizeof(bytes));
    }
}

void addBytes(Sha256& sum, const ByteSource& bytes, uint64_t offset, uint64_t size) {
    std::vector<uint8_t> piece(sample);
    for (uint64_t at = offset; at < offset + size; at += piece.size()) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(piece.size(), offset + size - at));
        bytes.read(at, piece.data(), count);
        sum.add(piece.data(), count);
    }
}

// A compound file's tree: each storage's CLSID and name, each stream's name,
// size and bytes (a large one's first and last), in the directory's order.
void addTree(Sha256& sum, const CompoundStorage& storage) {
    sum.add(storage.clsid.data(), storage.clsid.size());
    addNumber(sum, storage.streams.size());
    for (const CompoundStream& stream : storage.streams) {
        addName(sum, stream.name);
        const uint64_t size = stream.bytes->size();
        addNumber(sum, size);
        if (size <= sampledStream) {
            addBytes(sum, *stream.bytes, 0, size);
        } else {
            addBytes(sum, *stream.bytes, 0, sample);
            addBytes(sum, *stream.bytes, size - sample, sample);
        }
    }
    addNumber(sum, storage.storages.size());
    for (const CompoundStorage& child : storage.storages) {
        addName(sum, child.name);
        addTree(sum, child);
    }
}

// What names the package: every input (its tables, its summary with its own
// PackageCode, its streams), the language each stands for, in order. The
// same inputs give the same PackageCode on every host.
std::string packageCodeOf(const MultilingualPlan::Inputs& inputs) {
    Sha256 sum;
    static const char label[] = "Velkin multilingual package";
    sum.add(reinterpret_cast<const uint8_t*>(label), sizeof(label));
    addNumber(sum, inputs.baseLanguage);
    addTree(sum, inputs.base->reader->root());
    for (const Variant& variant : inputs.variants) {
        addNumber(sum, variant.language);
        addTree(sum, variant.given ? variant.given->reader->root() : variant.package->reader->root());
    }
    return nameBasedGuid(sum.finish());
}

CompoundStorage treeOf(const MultilingualPlan::Inputs& inputs, bool dropSignature) {
    MultilingualParts parts{inputs.base->reader->root(), inputs.baseLanguage, {}, inputs.packageCode, dropSignature};
    for (const Variant& variant : inputs.variants) {
        parts.variants.push_back(LanguageTransform{variant.language, variant.transform()});
    }
    try {
        return multilingualPackage(parts);
    } catch (const VkError<DamagedFileError>& e) {
        VK_THROW_DAMAGED(inputs.base->path << " is not a Windows Installer package: " << e.originalMessage());
    }
}

} // namespace

MultilingualPlan::MultilingualPlan(const tstring& base, const std::vector<tstring>& languages, const tstring& output)
    : inputs_(new Inputs) {
    // Every file is checked before the first is read.
    std::vector<std::pair<tstring, tstring>> files; // argument, path
    for (const tstring& argument : languages) {
        tstring digits;
        tstring path = argument;
        splitGiven(argument, digits, path);
        refuseOutputOverInput(output, path, L"a --language file");
        if (digits.empty()) {
            checkTransformFiles(base, path, output);
        } else {
            requireInputFile(path, L"The transform");
        }
        files.emplace_back(argument, path);
    }
    inputs_->base.reset(new ReadPackage(base));
    // The multilingual package installs from where the base would: refused
    // here, the base is named.
    requireEmbeddedSources(inputs_->base->facts, base);
    inputs_->baseLanguage = packageLanguage(*inputs_->base);
    for (const auto& [argument, path] : files) {
        Variant variant;
        variant.path = path;
        tstring digits;
        tstring ignored;
        const bool given = splitGiven(argument, digits, ignored);
        if (given) {
            variant.language = languageNumber(digits, argument);
        } else {
            variant.package.reset(new ReadPackage(path));
            requireSameProduct(*inputs_->base, *variant.package);
            variant.language = packageLanguage(*variant.package);
        }
        if (variant.language == inputs_->baseLanguage) {
            VK_THROW_MSG("--language " << argument << " is in the language " << variant.language << ", which is "
                                       << base << "'s own: the base language needs no transform");
        }
        const auto same = std::find_if(inputs_->variants.begin(), inputs_->variants.end(),
                                       [&variant](const Variant& other) { return other.language == variant.language; });
        if (same != inputs_->variants.end()) {
            VK_THROW_MSG("--language " << argument << " and --language " << same->path << " are both in the language "
                                       << variant.language << ": a setup offers each language once");
        }
        if (given) {
            readGiven(*inputs_, variant, argument);
        } else {
            variant.made = transformBetween(*inputs_->base, *variant.package);
        }
        inputs_->variants.push_back(std::move(variant));
    }
    const uint64_t size = compoundFileSize(treeOf(*inputs_, false));
    if (size >= SetupWriter::imageLimit) {
        VK_THROW_MSG("The package of " << base << " with its " << inputs_->variants.size()
                                       << " languages would take " << size << " bytes, more than a setup executable "
                                       << "can carry (the whole executable must stay below 2 GiB)");
    }
    inputs_->packageCode = packageCodeOf(*inputs_);
}

MultilingualPlan::~MultilingualPlan() = default;

bool MultilingualPlan::baseSigned() const { return inputs_->base->info.isSigned; }

std::string MultilingualPlan::languageList() const {
    std::string list = std::to_string(inputs_->baseLanguage);
    for (const Variant& variant : inputs_->variants) {
        list += "," + std::to_string(variant.language);
    }
    return list;
}

void MultilingualPlan::write(const tstring& path, bool dropSignature) const {
    writeCompoundFileTo(treeOf(*inputs_, dropSignature), path);
}

void MultilingualPlan::write(const std::function<void(const uint8_t*, size_t)>& out) const {
    writeCompoundFile(treeOf(*inputs_, false), out);
}

uint64_t MultilingualPlan::size() const { return compoundFileSize(treeOf(*inputs_, false)); }

RawPackageFacts MultilingualPlan::facts() const {
    RawPackageFacts facts = inputs_->base->facts;
    std::vector<uint16_t> languages;
    for (const Variant& variant : inputs_->variants) {
        languages.push_back(variant.language);
    }
    facts.platformTemplate = tstrings::fromUtf8(
        multilingualTemplate(tstrings::toUtf8(facts.platformTemplate), inputs_->baseLanguage, languages));
    facts.revisionNumber = tstrings::fromUtf8(inputs_->packageCode);
    return facts;
}
