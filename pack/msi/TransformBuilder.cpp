#include "TransformBuilder.h"

#include "ErrorHandling.h"
#include "MsiStreamName.h"
#include "StringPool.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

using LittleEndian::put16;

// {000C1082-0000-0000-C000-000000000046}
const Clsid transformClsid = {0x82, 0x10, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00,
                              0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

namespace {

// What an applier checks before it applies a language transform: the
// package's language, its product code and its upgrade code. No version
// relation: a language transform fits every version of its product that
// keeps its tables. No error condition is suppressed: a row that is not
// where the transform expects it means another package.
constexpr uint32_t validateLanguage = 0x0001;
constexpr uint32_t validateProduct = 0x0002;
constexpr uint32_t validateUpgradeCode = 0x0800;
constexpr uint32_t languageValidation = validateLanguage | validateProduct | validateUpgradeCode;

// A record's mask: with its lowest bit set, the record holds the first
// (mask >> 8) columns; otherwise bit i says that column i is there besides
// the keys, and no bit at all deletes the row.
constexpr uint16_t leadingColumns = 0x0001;
constexpr size_t maskedColumns = 16;


struct Field {
    MsiColumn column;
    MsiValue value;
};

struct Record {
    uint16_t mask = 0;
    std::vector<Field> fields;
};

struct TableChange {
    std::string name;
    std::vector<Record> records;
};

bool isAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string platformOf(const std::string& platformTemplate) {
    return platformTemplate.substr(0, platformTemplate.find(';'));
}

class Builder {
public:
    Builder(const TransformSides& sides) : sides_(sides), samePages_(sides.base.codePage() == sides.variant.codePage()) {}

    TransformContents build(const SummaryInformation& summary) {
        for (const MsiTable& table : sides_.base.tables()) {
            if (!sides_.variant.table(table.name)) {
                VK_THROW_MSG(sides_.variantName << " lacks the table " << table.name << " that " << sides_.baseName
                                                << " has: a language variant keeps every table of its product");
            }
        }
        TableChange tables{"_Tables", {}};
        TableChange columns{"_Columns", {}};
        std::vector<TableChange> changes;
        for (const MsiTable& variant : sides_.variant.tables()) {
            const MsiTable* base = sides_.base.table(variant.name);
            const size_t known = base ? compareColumns(*base, variant) : 0;
            if (!base) {
                tables.records.push_back(fullRecord(msiTablesColumns(),
                                                    {text(variant.name)}));
            }
            for (size_t c = known; c < variant.columns.size(); ++c) {
                columns.records.push_back(columnRecord(variant, c));
            }
            TableChange change{variant.name, {}};
            compareRows(base, variant, change);
            if (!change.records.empty() || known < variant.columns.size()) {
                changes.push_back(std::move(change));
            }
        }
        const bool streamsChange = compareStreams();

        TransformContents contents;
        contents.storage.clsid = transformClsid;
        for (TableChange* change : {&tables, &columns}) {
            if (!change->records.empty()) {
                changes.insert(changes.begin() + (change == &tables ? 0 : (tables.records.empty() ? 0 : 1)),
                               std::move(*change));
            }
        }
        if (changes.empty() && !streamsChange) {
            VK_THROW_MSG(sides_.baseName << " and " << sides_.variantName << " hold the same tables and streams: "
                                         << "there is nothing to transform");
        }
        for (const TableChange& change : changes) {
            for (const Record& record : change.records) {
                for (const Field& field : record.fields) {
                    if (field.value.kind == MsiValue::Kind::String) {
                        strings_.add(field.value.text);
                    }
                }
            }
        }
        for (const TableChange& change : changes) {
            contents.changedTables.push_back(change.name);
            contents.storage.streams.push_back(
                memoryStream(MsiStreamName::encode(change.name, true), encode(change)));
        }
        contents.storage.streams.push_back(
            memoryStream(MsiStreamName::encode("_StringPool", true), strings_.pool(sides_.variant.codePage())));
        contents.storage.streams.push_back(
            memoryStream(MsiStreamName::encode("_StringData", true), strings_.data()));
        contents.storage.streams.push_back(memoryStream(summaryInformationStream, summary.bytes()));
        for (const auto& [name, stream] : carried_) {
            contents.storage.streams.push_back(CompoundStream{MsiStreamName::encode(name, false), stream->bytes});
        }
        return contents;
    }

private:
    static CompoundStream memoryStream(const std::u16string& name, std::vector<uint8_t> bytes) {
        return CompoundStream{name, std::make_shared<OwnedBytes>(std::move(bytes))};
    }

    static MsiValue text(const std::string& value) {
        MsiValue result;
        result.kind = value.empty() ? MsiValue::Kind::Null : MsiValue::Kind::String;
        result.text = value;
        return result;
    }

    static MsiValue integer(int32_t value) {
        MsiValue result;
        result.kind = MsiValue::Kind::Integer;
        result.integer = value;
        return result;
    }

    static Record fullRecord(const std::vector<MsiColumn>& columns, const MsiRow& row) {
        Record record;
        record.mask = static_cast<uint16_t>(columns.size() << 8 | leadingColumns);
        for (size_t c = 0; c < columns.size(); ++c) {
            record.fields.push_back(Field{columns[c], row[c]});
        }
        return record;
    }

    static Record columnRecord(const MsiTable& table, size_t c) {
        return fullRecord(msiColumnsColumns(), {text(table.name), integer(static_cast<int32_t>(c + 1)),
                                   text(table.columns[c].name), integer(table.columns[c].type)});
    }

    // The columns both have, which must agree; the variant's further ones
    // are added, never keys.
    size_t compareColumns(const MsiTable& base, const MsiTable& variant) const {
        if (base.keyCount() != variant.keyCount()) {
            VK_THROW_MSG("The table " << base.name << " has " << base.keyCount() << " key columns in "
                                      << sides_.baseName << " and " << variant.keyCount() << " in "
                                      << sides_.variantName << ": a language variant keeps every table's key");
        }
        if (variant.columns.size() < base.columns.size()) {
            VK_THROW_MSG(sides_.variantName << " lacks the column " << base.name << "."
                                            << base.columns[variant.columns.size()].name << " that "
                                            << sides_.baseName << " has: a transform cannot remove a column");
        }
        for (size_t c = 0; c < base.columns.size(); ++c) {
            const MsiColumn& a = base.columns[c];
            const MsiColumn& b = variant.columns[c];
            if (a.name != b.name) {
                VK_THROW_MSG("The table " << base.name << "'s column " << c + 1 << " is " << a.name << " in "
                                          << sides_.baseName << " and " << b.name << " in " << sides_.variantName);
            }
            if (a.type != b.type) {
                VK_THROW_MSG("The column " << base.name << "." << a.name << " is of type " << a.type << " in "
                                           << sides_.baseName << " and of type " << b.type << " in "
                                           << sides_.variantName << ": a transform cannot change a column's type");
            }
        }
        return base.columns.size();
    }

    std::string keyOf(const MsiTable& table, const MsiRow& row, const tstring& file) const {
        std::string key;
        for (size_t c = 0; c < table.keyCount(); ++c) {
            const MsiValue& value = row[c];
            if (!samePages_ && !isAscii(value.text)) {
                VK_THROW_MSG("A key of the table " << table.name << " in " << file << " holds text beyond ASCII, "
                                                   << "and the two packages keep their text in different code "
                                                   << "pages (" << sides_.base.codePage() << " and "
                                                   << sides_.variant.codePage() << "): the rows cannot be matched");
            }
            key += static_cast<char>(value.kind);
            key += value.kind == MsiValue::Kind::Integer ? std::to_string(value.integer) : value.text;
            key += '\0';
        }
        return key;
    }

    bool sameValue(const MsiTable& table, size_t c, const MsiRow& base, const MsiRow& variant) const {
        const MsiValue& a = base[c];
        const MsiValue& b = variant[c];
        if (a.kind != b.kind) {
            return false;
        }
        switch (a.kind) {
        case MsiValue::Kind::Integer:
            return a.integer == b.integer;
        case MsiValue::Kind::String:
            // The same bytes in two code pages are the same text only in ASCII.
            return a.text == b.text && (samePages_ || isAscii(a.text));
        case MsiValue::Kind::Stream: {
            const std::string name = msiStreamValueName(table, variant);
            return sameBytes(*sides_.base.stream(msiStreamValueName(table, base))->bytes,
                             *sides_.variant.stream(name)->bytes);
        }
        case MsiValue::Kind::Null:
            break;
        }
        return true;
    }

    // The variant's row, for a record: a stream column's value travels as a
    // stream of the transform named by the row, which it must then carry.
    Field field(const MsiTable& table, size_t c, const MsiRow& row) {
        if (row[c].kind == MsiValue::Kind::Stream) {
            const std::string name = msiStreamValueName(table, row);
            carried_[name] = sides_.variant.stream(name);
        }
        return Field{table.columns[c], row[c]};
    }

    Record insertRecord(const MsiTable& table, const MsiRow& row) {
        std::vector<size_t> present;
        bool missingStream = false;
        for (size_t c = 0; c < table.columns.size(); ++c) {
            // An applier reads a stream column's stream whenever the record
            // holds the column: a column without one stays out.
            const bool streamless = table.columns[c].isStream() && row[c].kind != MsiValue::Kind::Stream;
            missingStream = missingStream || streamless;
            if (c < table.keyCount() || !streamless) {
                present.push_back(c);
            }
        }
        Record record;
        const bool leading = present.back() + 1 == present.size();
        if (!missingStream || leading) {
            record.mask = static_cast<uint16_t>(present.size() << 8 | leadingColumns);
        } else {
            requireMaskable(table, present.back());
            for (size_t c : present) {
                record.mask |= c < table.keyCount() ? 0 : static_cast<uint16_t>(1u << c);
            }
            if (record.mask == 0) {
                record.mask = static_cast<uint16_t>(table.keyCount() << 8 | leadingColumns);
            }
        }
        for (size_t c : present) {
            record.fields.push_back(field(table, c, row));
        }
        return record;
    }

    void requireMaskable(const MsiTable& table, size_t column) const {
        if (column >= maskedColumns) {
            VK_THROW_MSG("The table " << table.name << " of " << sides_.variantName << " changes its column "
                                      << column + 1 << " beside a stream column without a stream: a transform "
                                      << "names such columns of the first " << maskedColumns << " alone");
        }
    }

    void compareRows(const MsiTable* base, const MsiTable& variant, TableChange& change) {
        std::map<std::string, const MsiRow*> baseRows;
        if (base) {
            for (const MsiRow& row : base->rows) {
                baseRows.emplace(keyOf(*base, row, sides_.baseName), &row);
            }
        }
        std::set<std::string> kept;
        std::vector<Record> updates;
        for (const MsiRow& row : variant.rows) {
            const std::string key = keyOf(variant, row, sides_.variantName);
            const auto found = baseRows.find(key);
            if (found == baseRows.end()) {
                updates.push_back(insertRecord(variant, row));
                continue;
            }
            kept.insert(key);
            const MsiRow& old = *found->second;
            std::vector<size_t> changed;
            for (size_t c = variant.keyCount(); c < variant.columns.size(); ++c) {
                const bool added = c >= base->columns.size();
                if (added ? row[c].kind != MsiValue::Kind::Null : !sameValue(variant, c, old, row)) {
                    changed.push_back(c);
                }
            }
            if (changed.empty()) {
                continue;
            }
            Record record;
            for (size_t c = 0; c < variant.keyCount(); ++c) {
                record.fields.push_back(field(variant, c, row));
            }
            for (size_t c : changed) {
                if (variant.columns[c].isStream() && row[c].kind != MsiValue::Kind::Stream) {
                    VK_THROW_MSG("The row " << msiStreamValueName(variant, row) << " of " << sides_.variantName
                                            << " has no stream where " << sides_.baseName
                                            << " has one: a transform cannot remove a row's stream");
                }
                requireMaskable(variant, c);
                record.mask |= static_cast<uint16_t>(1u << c);
                record.fields.push_back(field(variant, c, row));
            }
            updates.push_back(std::move(record));
        }
        if (base) {
            for (const MsiRow& row : base->rows) {
                if (!kept.count(keyOf(*base, row, sides_.baseName))) {
                    change.records.push_back(deleteRecord(*base, row));
                }
            }
        }
        for (Record& record : updates) {
            change.records.push_back(std::move(record));
        }
    }

    Record deleteRecord(const MsiTable& table, const MsiRow& row) const {
        Record record;
        for (size_t c = 0; c < table.keyCount(); ++c) {
            record.fields.push_back(Field{table.columns[c], row[c]});
        }
        return record;
    }

    // Streams of no table's row (embedded cabinets, mostly) that the
    // variant adds or changes travel in the transform by their own names,
    // with no `_Streams` row: the installer reads a package's streams from its
    // transforms too, and appliers take no rows for that table (Wine's crash
    // on one). A stream that the variant drops stays: nothing names it.
    bool compareStreams() {
        const std::set<std::string> baseStreams = freeStreams(sides_.base);
        bool changed = false;
        for (const std::string& name : freeStreams(sides_.variant)) {
            const CompoundStream* variant = sides_.variant.stream(name);
            const CompoundStream* base = baseStreams.count(name) ? sides_.base.stream(name) : nullptr;
            if (!base || !sameBytes(*base->bytes, *variant->bytes)) {
                carried_[name] = variant;
                changed = true;
            }
        }
        return changed;
    }

    // The streams that no row's stream column names, but for the storage's
    // own (the summary information, signatures).
    static std::set<std::string> freeStreams(const MsiDatabase& database) {
        std::set<std::string> names;
        for (const auto& entry : database.streams()) {
            if (!entry.first.empty() && entry.first[0] != '\x05') {
                names.insert(entry.first);
            }
        }
        for (const MsiTable& table : database.tables()) {
            for (size_t c = 0; c < table.columns.size(); ++c) {
                if (table.columns[c].isStream()) {
                    for (const MsiRow& row : table.rows) {
                        names.erase(msiStreamValueName(table, row));
                    }
                }
            }
        }
        return names;
    }

    std::vector<uint8_t> encode(const TableChange& change) const {
        const unsigned referenceSize = strings_.referenceSize();
        std::vector<uint8_t> bytes;
        for (const Record& record : change.records) {
            size_t at = bytes.size();
            bytes.resize(at + 2);
            put16(&bytes[at], record.mask);
            for (const Field& field : record.fields) {
                const unsigned width = field.column.width(referenceSize);
                uint32_t raw = 0;
                const MsiValue& value = field.value;
                if (value.kind == MsiValue::Kind::Integer) {
                    raw = width == 2 ? static_cast<uint32_t>(value.integer + 0x8000)
                                     : static_cast<uint32_t>(value.integer) ^ 0x80000000u;
                } else if (value.kind == MsiValue::Kind::String) {
                    raw = strings_.id(value.text);
                }
                at = bytes.size();
                bytes.resize(at + width);
                for (unsigned i = 0; i < width; ++i) {
                    bytes[at + i] = static_cast<uint8_t>(raw >> (8 * i));
                }
            }
        }
        return bytes;
    }

    const TransformSides& sides_;
    const bool samePages_;
    StringPoolBuilder strings_;
    std::map<std::string, const CompoundStream*> carried_;
};

std::string versionOf(const MsiDatabase& database) { return database.property("ProductVersion"); }

std::string languageOf(const MsiDatabase& database, const SummaryInformation& summary) {
    return platformOf(summary.text(SummaryInformation::Template)) + ";" + database.property("ProductLanguage");
}

SummaryInformation summaryOf(const MsiDatabase& database) {
    const CompoundStream* stream = database.stream("\x05SummaryInformation");
    return stream ? SummaryInformation::read(*stream->bytes) : SummaryInformation();
}

} // namespace

TransformContents buildTransform(const TransformSides& sides, const SummaryInformation& summary) {
    return Builder(sides).build(summary);
}

SummaryInformation transformSummary(const TransformSides& sides) {
    const SummaryInformation base = summaryOf(sides.base);
    const SummaryInformation variant = summaryOf(sides.variant);
    SummaryInformation summary;
    const auto codePage = variant.integers.find(SummaryInformation::CodePage);
    if (codePage != variant.integers.end()) {
        summary.integers[SummaryInformation::CodePage] = codePage->second;
    }
    const auto pageCount = variant.integers.find(SummaryInformation::PageCount);
    if (pageCount != variant.integers.end()) {
        summary.integers[SummaryInformation::PageCount] = pageCount->second;
    }
    summary.texts[SummaryInformation::Template] = languageOf(sides.base, base);
    summary.texts[SummaryInformation::LastSavedBy] = languageOf(sides.variant, variant);
    summary.texts[SummaryInformation::RevisionNumber] =
        sides.base.property("ProductCode") + versionOf(sides.base) + ";" + sides.variant.property("ProductCode") +
        versionOf(sides.variant) + ";" + sides.base.property("UpgradeCode");
    summary.integers[SummaryInformation::CharacterCount] = static_cast<int32_t>(languageValidation << 16);
    return summary;
}
