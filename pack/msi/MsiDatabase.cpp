#include "MsiDatabase.h"

#include "DamagedFile.h"
#include "MsiStreamName.h"

#include <algorithm>

namespace {

constexpr uint16_t typeValid = 0x0100;
constexpr uint16_t typeString = 0x0800;
constexpr uint16_t typeNullable = 0x1000;
constexpr uint16_t typeKey = 0x2000;
constexpr uint16_t typeWidth = 0x00FF;

} // namespace

const std::vector<MsiColumn>& msiTablesColumns() {
    static const std::vector<MsiColumn> columns{MsiColumn{"Name", MsiColumn::stringKey | 64}};
    return columns;
}

const std::vector<MsiColumn>& msiColumnsColumns() {
    static const std::vector<MsiColumn> columns{
        MsiColumn{"Table", MsiColumn::stringKey | 64}, MsiColumn{"Number", MsiColumn::shortKey},
        MsiColumn{"Name", MsiColumn::string | 64}, MsiColumn{"Type", MsiColumn::shortInteger}};
    return columns;
}

namespace {

// A table's stream is read whole and each of its values held: the bound
// keeps what a damaged or hostile package can cost within reason (a real
// package's largest table takes a few MiB).
constexpr uint64_t largestTableStream = uint64_t{16} << 20;
// The installer's own bound on a table's columns.
constexpr size_t mostColumns = 32;

std::vector<uint8_t> allBytes(const CompoundStream& stream) {
    if (stream.bytes->size() > largestTableStream) {
        VK_THROW_DAMAGED("its table stream of " << stream.bytes->size() << " bytes is larger than the "
                                                << largestTableStream << " a table may take");
    }
    return stream.bytes->bytes(0, static_cast<size_t>(stream.bytes->size()));
}

uint32_t readRaw(const std::vector<uint8_t>& bytes, size_t at, unsigned width) {
    uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    }
    return value;
}

std::string keyText(const MsiValue& value) {
    return value.kind == MsiValue::Kind::Integer ? std::to_string(value.integer) : value.text;
}

} // namespace

bool MsiColumn::isKey() const { return (type & typeKey) != 0; }

bool MsiColumn::isStream() const { return (type & ~typeNullable & ~typeKey) == (typeString | typeValid); }


bool MsiColumn::isString() const { return (type & typeString) != 0 && !isStream(); }

unsigned MsiColumn::width(unsigned referenceSize) const {
    if (isStream()) {
        return 2;
    }
    if (isString()) {
        return referenceSize;
    }
    const unsigned bytes = type & typeWidth;
    if (bytes != 2 && bytes != 4) {
        VK_THROW_DAMAGED("its column " << name << " is an integer of " << bytes << " bytes");
    }
    return bytes;
}

size_t MsiTable::keyCount() const {
    size_t count = 0;
    while (count < columns.size() && columns[count].isKey()) {
        ++count;
    }
    return count;
}

std::string msiStreamValueName(const MsiTable& table, const MsiRow& row) {
    std::string name = table.name;
    for (size_t i = 0; i < table.keyCount(); ++i) {
        name += '.';
        name += keyText(row[i]);
    }
    return name;
}

MsiDatabase::MsiDatabase(const CompoundStorage& root) : root_(root) {
    for (const CompoundStream& stream : root.streams) {
        bool isTable = false;
        const std::string name = MsiStreamName::decode(stream.name, isTable);
        (isTable ? tableStreams_ : streams_)[name] = &stream;
    }
    const auto pool = tableStreams_.find("_StringPool");
    const auto data = tableStreams_.find("_StringData");
    if (pool == tableStreams_.end() || data == tableStreams_.end()) {
        VK_THROW_DAMAGED("it has no string pool");
    }
    strings_.reset(new StringPool(allBytes(*pool->second), *data->second->bytes));

    const MsiTable tables = readTable("_Tables", msiTablesColumns());
    const MsiTable columns = readTable("_Columns", msiColumnsColumns());
    for (const MsiRow& row : tables.rows) {
        const std::string& name = row[0].text;
        if (name.empty() || table(name)) {
            VK_THROW_DAMAGED("its list of tables names " << (name.empty() ? "no table" : name.c_str()) << " twice");
        }
        std::vector<std::pair<int32_t, MsiColumn>> numbered;
        for (const MsiRow& column : columns.rows) {
            if (column[0].text == name) {
                numbered.emplace_back(column[1].integer,
                                      MsiColumn{column[2].text, static_cast<uint16_t>(column[3].integer)});
            }
        }
        std::sort(numbered.begin(), numbered.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<MsiColumn> described;
        for (size_t i = 0; i < numbered.size(); ++i) {
            if (numbered[i].first != static_cast<int32_t>(i + 1) || numbered[i].second.name.empty()) {
                VK_THROW_DAMAGED("its table " << name << " has no column " << i + 1);
            }
            described.push_back(numbered[i].second);
        }
        if (described.size() > mostColumns) {
            VK_THROW_DAMAGED("its table " << name << " has " << described.size() << " columns, more than "
                                          << mostColumns);
        }
        if (described.empty() || !described[0].isKey()) {
            VK_THROW_DAMAGED("its table " << name << " has no key column");
        }
        tables_.push_back(readTable(name, std::move(described)));
    }
}

std::vector<uint8_t> MsiDatabase::tableStream(const std::string& name) const {
    const auto found = tableStreams_.find(name);
    return found == tableStreams_.end() ? std::vector<uint8_t>() : allBytes(*found->second);
}

MsiTable MsiDatabase::readTable(const std::string& name, std::vector<MsiColumn> columns) const {
    MsiTable table{name, std::move(columns), {}};
    const unsigned referenceSize = strings_->referenceSize();
    size_t rowSize = 0;
    for (const MsiColumn& column : table.columns) {
        rowSize += column.width(referenceSize);
    }
    const std::vector<uint8_t> bytes = tableStream(name);
    if (bytes.size() % rowSize != 0) {
        VK_THROW_DAMAGED("its table " << name << " has " << bytes.size() << " bytes, no whole number of rows of "
                                      << rowSize);
    }
    const size_t count = bytes.size() / rowSize;
    table.rows.assign(count, MsiRow(table.columns.size()));
    size_t at = 0;
    for (size_t c = 0; c < table.columns.size(); ++c) {
        const MsiColumn& column = table.columns[c];
        const unsigned width = column.width(referenceSize);
        for (size_t r = 0; r < count; ++r, at += width) {
            const uint32_t raw = readRaw(bytes, at, width);
            MsiValue& value = table.rows[r][c];
            if (column.isStream()) {
                // Named by the keys, which come first: read already.
                if (stream(msiStreamValueName(table, table.rows[r]))) {
                    value.kind = MsiValue::Kind::Stream;
                }
            } else if (raw == 0) {
                value.kind = MsiValue::Kind::Null;
            } else if (column.isString()) {
                value.text = strings_->at(raw);
                value.kind = value.text.empty() ? MsiValue::Kind::Null : MsiValue::Kind::String;
            } else {
                value.kind = MsiValue::Kind::Integer;
                value.integer = width == 2 ? static_cast<int32_t>(raw) - 0x8000 : static_cast<int32_t>(raw ^ 0x80000000u);
            }
        }
    }
    return table;
}

const MsiTable* MsiDatabase::table(const std::string& name) const {
    for (const MsiTable& table : tables_) {
        if (table.name == name) {
            return &table;
        }
    }
    return nullptr;
}

const CompoundStream* MsiDatabase::stream(const std::string& name) const {
    const auto found = streams_.find(name);
    return found == streams_.end() ? nullptr : found->second;
}

std::string MsiDatabase::property(const std::string& name) const {
    const MsiTable* properties = table("Property");
    if (properties && properties->columns.size() >= 2) {
        for (const MsiRow& row : properties->rows) {
            if (row[0].text == name) {
                return row[1].text;
            }
        }
    }
    return std::string();
}
