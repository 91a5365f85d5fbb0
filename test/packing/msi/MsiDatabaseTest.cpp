#include "DamagedFile.h"
#include "MsiDatabase.h"
#include "MsiStreamName.h"
#include "OpenPackage.h"
#include "PackageFacts.h"
#include "StringPool.h"
#include "SummaryInformation.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

namespace {

// The packages' text is in code page 1252; the characters they use beyond
// ASCII are Latin-1's, which UTF-8 spells in two bytes.
std::string latin1ToUtf8(const std::string& text) {
    std::string utf8;
    for (unsigned char c : text) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xC0 | c >> 6);
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

// A table's rows as msitools' exporter writes them: tab-separated, a null as
// nothing; stream columns left out (the exporter writes them to files).
std::multiset<std::string> rowsAsExported(const MsiTable& table) {
    std::multiset<std::string> rows;
    for (const MsiRow& row : table.rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += c == 0 ? "" : "\t";
            if (table.columns[c].isStream()) {
                continue;
            }
            if (row[c].kind == MsiValue::Kind::Integer) {
                line += std::to_string(row[c].integer);
            } else {
                line += latin1ToUtf8(row[c].text);
            }
        }
        rows.insert(line);
    }
    return rows;
}

// Each table's rows as msitools exports them, stream columns left out; one
// run for the whole package.
std::map<std::string, std::multiset<std::string>> rowsFromMsiinfo(const std::string& package,
                                                                   const MsiDatabase& database) {
    std::vector<std::string> arguments{package};
    for (const MsiTable& table : database.tables()) {
        arguments.push_back(table.name);
    }
    const std::string exported =
        runPython("import subprocess, sys\n"
                  "for table in sys.argv[2:]:\n"
                  "    out = subprocess.run(['msiinfo', 'export', sys.argv[1], table], check=True,"
                  " capture_output=True, cwd='/tmp').stdout.decode()\n"
                  "    sys.stdout.write('\\x01' + table + '\\n' + out.replace('\\r', ''))\n",
                  arguments);
    std::map<std::string, std::multiset<std::string>> tables;
    std::istringstream lines(exported);
    std::string line;
    const MsiTable* table = nullptr;
    int header = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] == '\x01') {
            table = database.table(line.substr(1));
            // Column names, column types, the table's name and keys.
            header = 3;
            continue;
        }
        if (header > 0) {
            --header;
            continue;
        }
        std::string kept;
        size_t column = 0;
        size_t start = 0;
        for (;;) {
            const size_t end = line.find('\t', start);
            kept += column == 0 ? "" : "\t";
            if (column >= table->columns.size() || !table->columns[column].isStream()) {
                kept += line.substr(start, end - start);
            }
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
            ++column;
        }
        tables[table->name].insert(kept);
    }
    return tables;
}

TEST(MsiDatabaseTest, ReadsEveryTableAsMsitoolsExportsIt) {
    for (const char* name : {"demo.msi", "language-1031.msi", "binary.msi"}) {
        const OpenPackage package(name);
        ASSERT_FALSE(package.database.tables().empty()) << name;
        auto exported = rowsFromMsiinfo(tstrings::toUtf8(packagePath(name)), package.database);
        for (const MsiTable& table : package.database.tables()) {
            EXPECT_EQ(exported[table.name], rowsAsExported(table)) << name << ": " << table.name;
        }
    }
}

TEST(MsiDatabaseTest, FindsStreamsAndPropertiesAsTheInstallerReaderDoes) {
    const OpenPackage package("language-1031.msi");
    const RawPackageFacts facts = readPackageFacts(packagePath("language-1031.msi"));
    EXPECT_EQ(tstrings::toUtf8(facts.properties.at(L"ProductCode")), package.database.property("ProductCode"));
    EXPECT_EQ("1031", package.database.property("ProductLanguage"));
    ASSERT_NE(nullptr, package.database.stream("Binary.Banner"));
    ASSERT_NE(nullptr, package.database.stream("language-1031.cab"));
    const MsiTable* binary = package.database.table("Binary");
    ASSERT_NE(nullptr, binary);
    ASSERT_EQ(1u, binary->rows.size());
    EXPECT_EQ(MsiValue::Kind::Stream, binary->rows[0][1].kind);
    EXPECT_EQ("Binary.Banner", msiStreamValueName(*binary, binary->rows[0]));
    const auto banner = package.database.stream("Binary.Banner")->bytes;
    const std::vector<uint8_t> text = banner->bytes(0, static_cast<size_t>(banner->size()));
    EXPECT_EQ("BANNER de-DE (ein l\xC3\xA4ngeres Banner)\n", std::string(text.begin(), text.end()));
}

TEST(MsiDatabaseTest, StreamNamesDecodeAndEncodeAsTheInstallerStoresThem) {
    const OpenPackage package("demo.msi");
    std::set<std::string> tables;
    for (const CompoundStream& stream : package.reader.root().streams) {
        bool isTable = false;
        const std::string name = MsiStreamName::decode(stream.name, isTable);
        EXPECT_EQ(stream.name, MsiStreamName::encode(name, isTable)) << name;
        if (isTable) {
            tables.insert(name);
        }
    }
    for (const char* table : {"_StringPool", "_StringData", "_Tables", "_Columns", "Property", "File", "Media"}) {
        EXPECT_TRUE(tables.count(table)) << table;
    }
    EXPECT_NE(nullptr, package.database.stream("demo.cab"));
    EXPECT_NE(nullptr, package.database.stream("\x05SummaryInformation"));
}

TEST(MsiDatabaseTest, StringPoolsRoundTripWithShortAndLongReferencesAndStrings) {
    for (const size_t count : {size_t{3}, size_t{70000}}) {
        StringPoolBuilder builder;
        std::vector<std::string> texts;
        for (size_t i = 0; i < count; ++i) {
            texts.push_back("string " + std::to_string(i));
        }
        texts.push_back(std::string(70000, 'x'));
        texts.push_back("after the long one");
        std::vector<uint32_t> ids;
        for (const std::string& text : texts) {
            ids.push_back(builder.add(text));
        }
        EXPECT_EQ(ids[0], builder.add(texts[0]));
        EXPECT_EQ(0u, builder.add(""));
        const std::vector<uint8_t> data = builder.data();
        const StringPool pool(builder.pool(1252), MemoryBytes(data));
        EXPECT_EQ(1252u, pool.codePage());
        EXPECT_EQ(count >= 0xFFFF ? 3u : 2u, pool.referenceSize());
        for (size_t i = 0; i < texts.size(); ++i) {
            ASSERT_EQ(texts[i], pool.at(ids[i])) << i;
        }
        EXPECT_EQ("", pool.at(0));
        EXPECT_THROW(pool.at(static_cast<uint32_t>(texts.size() + 1)), VkError<DamagedFileError>);
    }
}

TEST(MsiDatabaseTest, SummaryInformationRoundTripsAndReadsWixlsPackages) {
    const OpenPackage package("language-1031.msi");
    const SummaryInformation read =
        SummaryInformation::read(*package.database.stream("\x05SummaryInformation")->bytes);
    EXPECT_EQ("Intel;1033", read.text(SummaryInformation::Template));
    EXPECT_EQ(200, read.integers.at(SummaryInformation::PageCount));

    SummaryInformation written;
    written.integers[SummaryInformation::CodePage] = 1252;
    written.integers[SummaryInformation::CharacterCount] = 0x08030000;
    written.texts[SummaryInformation::Template] = "x64;1033";
    written.texts[SummaryInformation::RevisionNumber] = "{A}1.0;{A}1.0;{B}";
    written.texts[SummaryInformation::LastSavedBy] = "";
    const std::vector<uint8_t> bytes = written.bytes();
    const SummaryInformation back = SummaryInformation::read(MemoryBytes(bytes));
    EXPECT_EQ(written.integers, back.integers);
    EXPECT_EQ(written.texts, back.texts);
    // The same properties, the same bytes.
    EXPECT_EQ(bytes, back.bytes());
}

TEST(MsiDatabaseTest, RefusesTablesThatDisagreeWithTheirColumns) {
    OpenPackage package("demo.msi");
    // The File table's stream cut by one byte: no whole number of rows.
    CompoundStorage root = package.reader.root();
    for (CompoundStream& stream : root.streams) {
        bool isTable = false;
        if (MsiStreamName::decode(stream.name, isTable) == "File" && isTable) {
            std::vector<uint8_t> cut = stream.bytes->bytes(0, static_cast<size_t>(stream.bytes->size() - 1));
            stream.bytes = std::make_shared<OwnedBytes>(std::move(cut));
        }
    }
    try {
        MsiDatabase damaged(root);
        FAIL() << "a cut table was read";
    } catch (const VkError<DamagedFileError>& e) {
        EXPECT_NE(std::string::npos, std::string(e.originalMessage()).find("its table File has")) << e.what();
    }
}

} // namespace
