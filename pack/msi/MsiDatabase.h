#pragma once

#include "CompoundFile.h"
#include "StringPool.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// One column of a table, as `_Columns` describes it.
struct MsiColumn {
    // Types as `_Columns` stores them: a string's (or a stream's) maximum
    // length, or an integer's bytes, in the low byte.
    static constexpr uint16_t shortInteger = 0x0502;
    static constexpr uint16_t shortKey = 0x2502;
    static constexpr uint16_t string = 0x0D00;
    static constexpr uint16_t stringKey = 0x2D00;
    static constexpr uint16_t stream = 0x0900;

    std::string name;
    // The column's type bits as stored: key, nullable, string, width.
    uint16_t type = 0;

    bool isKey() const;
    bool isString() const;
    // A stream column: its value is a stream of the database named by the
    // table and the row's keys.
    bool isStream() const;
    // Bytes a value takes in a table stream.
    unsigned width(unsigned referenceSize) const;
};

// One value of a row: null, an integer, a string in the database's code
// page, or a stream (present or not).
struct MsiValue {
    enum class Kind : uint8_t { Null, Integer, String, Stream };
    Kind kind = Kind::Null;
    int32_t integer = 0;
    std::string text;

    bool operator==(const MsiValue& other) const {
        return kind == other.kind && integer == other.integer && text == other.text;
    }
    bool operator!=(const MsiValue& other) const { return !(*this == other); }
};

using MsiRow = std::vector<MsiValue>;

struct MsiTable {
    std::string name;
    std::vector<MsiColumn> columns;
    std::vector<MsiRow> rows;

    size_t keyCount() const;
};

// An installer database read from its compound file: its string pool, its
// tables with their columns and rows (in the order the database keeps them),
// and its streams, found by their decoded names. Bounded by the file: a table
// stream that disagrees with its columns, a reference to a string the pool
// does not have, a column numbered twice, are a DamagedFileError.
class MsiDatabase {
public:
    // `root` must outlive the database.
    explicit MsiDatabase(const CompoundStorage& root);

    uint32_t codePage() const { return strings_->codePage(); }
    // In the order of `_Tables`.
    const std::vector<MsiTable>& tables() const { return tables_; }
    const MsiTable* table(const std::string& name) const;
    // A stream that is no table's, by its decoded name ("Binary.Logo",
    // "cab1.cab", "\x05SummaryInformation"); nullptr when absent.
    const CompoundStream* stream(const std::string& name) const;
    // The streams that are no table's, by decoded name.
    const std::map<std::string, const CompoundStream*>& streams() const { return streams_; }
    const CompoundStorage& root() const { return root_; }

    // A Property table value; empty when not set.
    std::string property(const std::string& name) const;

private:
    std::vector<uint8_t> tableStream(const std::string& name) const;
    MsiTable readTable(const std::string& name, std::vector<MsiColumn> columns) const;

    const CompoundStorage& root_;
    std::unique_ptr<StringPool> strings_;
    std::map<std::string, const CompoundStream*> tableStreams_;
    std::map<std::string, const CompoundStream*> streams_;
    std::vector<MsiTable> tables_;
};

// The columns of the two tables that describe the others.
const std::vector<MsiColumn>& msiTablesColumns();
const std::vector<MsiColumn>& msiColumnsColumns();

// The name of the stream that holds a stream column's value: the table's
// name and the row's keys, joined by dots.
std::string msiStreamValueName(const MsiTable& table, const MsiRow& row);
