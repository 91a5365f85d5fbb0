#include "MsiDb.h"
#include "RecordingLogAppender.h"
#include "TestSupport.h"
#include "WinErrorHandling.h"

#include <gtest/gtest.h>

namespace {

tstring demoPackage() { return testPackage(L"demo.msi"); }

TEST(MsiDbTest, ReadsPropertiesOfAPackage) {
    const msi::Database db(demoPackage());
    EXPECT_EQ(L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}", db.getProperty(L"ProductCode"));
    EXPECT_EQ(L"Velkin Demo", db.getProperty(L"ProductName"));
    EXPECT_EQ(L"1.0.0", db.getProperty(L"ProductVersion"));
    EXPECT_EQ(L"Velkin", db.getProperty(L"Manufacturer"));
}

TEST(MsiDbTest, MissingPropertyIsNoMoreItems) {
    const msi::Database db(demoPackage());
    const auto error =
        thrown<VkError<msi::NoMoreItemsError>>([&] { db.getProperty(L"VelkinMissing"); });
    ASSERT_TRUE(error);
    EXPECT_EQ(259u, error->getStatus());
    EXPECT_TRUE(startsWith(error->originalMessage(),
                           "No more items in [SELECT Value FROM Property WHERE Property = ?] "
                           "query. MSI error [259]("));
    RecordingLogAppender log;
    EXPECT_EQ(L"", db.getProperty(std::nothrow, L"VelkinMissing"));
    EXPECT_TRUE(log.records.empty()) << "a missing property is no failure to report";
}

TEST(MsiDbTest, FileThatIsNotAPackageIsRefused) {
    TestDirectory dir;
    const tstring bogus = dir.file(L"bogus.msi", "this is not a package");
    const auto error = thrown<VkError<msi::Error>>([&] { const msi::Database db(bogus); });
    ASSERT_TRUE(error);
    EXPECT_NE(0u, error->getStatus());
    const std::string call = "MsiOpenDatabase(" + tstrings::toUtf8(bogus) + ", MSIDBOPEN_READONLY)";
    EXPECT_TRUE(startsWith(error->originalMessage(), call + " failed. MSI error ["));
}

TEST(MsiDbTest, ViewReadsEveryRowToTheEnd) {
    const msi::Database db(demoPackage());
    msi::DatabaseView view(db, L"SELECT Property, Value FROM Property");
    int rows = 0;
    for (msi::DatabaseRecord row = view.tryFetch(); !row.empty(); row = view.tryFetch()) {
        EXPECT_EQ(2u, row.getFieldCount());
        EXPECT_FALSE(row.getString(1).empty());
        ++rows;
    }
    EXPECT_GE(rows, 6);
}

// (Wine's views start over after reporting their end once; Windows' stay at
// the end. Only the first report is checked.)
TEST(MsiDbTest, EmptyViewReportsItsEnd) {
    const msi::Database db(demoPackage());
    const tstring none = L"SELECT Value FROM Property WHERE Property = 'VelkinMissing'";
    EXPECT_TRUE(msi::DatabaseView(db, none).tryFetch().empty());
    msi::DatabaseView view(db, none);
    EXPECT_EQ(259u, statusOf<msi::Error>([&] { view.fetch(); }));
    msi::DatabaseView other(db, none);
    EXPECT_EQ(259u, statusOf<msi::Error>([&] { msi::DatabaseRecord record(other); }));
}

TEST(MsiDbTest, BadQueryNamesItself) {
    const msi::Database db(demoPackage());
    const auto openView = [&] { msi::DatabaseView view(db, L"SELECT Nothing FROM Nowhere"); };
    EXPECT_TRUE(startsWith(failureOf<VkError<msi::Error>>(openView),
                           "MsiDatabaseOpenView(SELECT Nothing FROM Nowhere) failed"));
}

TEST(MsiDbTest, RecordFieldsAndTheirFailures) {
    msi::DatabaseRecord record(3);
    record.setString(1, L"text \u00FC").setInteger(2, -42);
    EXPECT_EQ(3u, record.getFieldCount());
    EXPECT_EQ(L"text \u00FC", record.getString(1));
    EXPECT_EQ(-42, record.getInteger(2));
    EXPECT_EQ(1627u, statusOf<msi::Error>([&] { record.getInteger(3); }));

    msi::DatabaseRecord moved(std::move(record));
    EXPECT_TRUE(record.empty());
    EXPECT_EQ(-42, moved.getInteger(2));

    msi::DatabaseRecord none(0);
    EXPECT_EQ(1627u, statusOf<msi::Error>([&] { none.getFieldCount(); }));
}

TEST(MsiDbTest, StreamsRoundTripThroughFilesOfAnySize) {
    TestDirectory dir;
    const size_t chunk = 0x100000;
    for (const size_t size : {size_t{0}, size_t{1}, chunk, chunk + 1, 2 * chunk + 7}) {
        std::string content(size, '\0');
        for (size_t i = 0; i < size; ++i) {
            content[i] = static_cast<char>((i * 7919) >> 3);
        }
        const tstring source = dir.file(L"in.bin", content);
        const tstring copy = dir / L"out.bin";
        msi::DatabaseRecord record(1);
        record.setStreamFromFile(1, source);
        record.saveStreamToFile(1, copy);
        EXPECT_EQ(content, readFile(copy)) << size;
        EXPECT_EQ((std::vector<tstring>{L"in.bin", L"out.bin"}), listDirectory(dir.path())) << size;
    }
}

TEST(MsiDbTest, EmbeddedCabinetIsReadFromThePackage) {
    TestDirectory dir;
    const msi::Database db(demoPackage());
    msi::DatabaseView view(db, L"SELECT Data FROM _Streams WHERE Name = 'demo.cab'");
    view.fetch().saveStreamToFile(1, dir / L"demo.cab");
    EXPECT_EQ("MSCF", readFile(dir / L"demo.cab").substr(0, 4));
}

TEST(MsiDbTest, BinaryEntriesOfNothingAndOfOneChunk) {
    TestDirectory dir;
    const msi::Database db(testPackage(L"binary.msi"));
    msi::DatabaseView empty(db, L"SELECT Data FROM Binary WHERE Name = 'Empty'");
    empty.fetch().saveStreamToFile(1, dir / L"empty.bin");
    EXPECT_TRUE(exists(dir / L"empty.bin"));
    EXPECT_EQ("", readFile(dir / L"empty.bin"));

    msi::DatabaseView exact(db, L"SELECT Data FROM Binary WHERE Name = 'Exact'");
    exact.fetch().saveStreamToFile(1, dir / L"exact.bin");
    const std::string content = readFile(dir / L"exact.bin");
    EXPECT_EQ(0x100000u, content.size());
    EXPECT_EQ("0123456789abcdef", content.substr(content.size() - 16));
    EXPECT_EQ((std::vector<tstring>{L"empty.bin", L"exact.bin"}), listDirectory(dir.path()));
}

// 300 characters: the first buffer of 20 doubles four times.
TEST(MsiDbTest, LongPropertyIsReadWhole) {
    const msi::Database db(testPackage(L"binary.msi"));
    tstring expected;
    for (int i = 0; i < 30; ++i) {
        expected += L"0123456789";
    }
    EXPECT_EQ(expected, db.getProperty(L"LONG"));
}

// Any name is only compared: one with a quote is read like any other, and
// one that would rewrite a query made of text answers with no other
// property's value.
TEST(MsiDbTest, PropertyNameWithAQuoteIsOnlyCompared) {
    const msi::Database db(testPackage(L"binary.msi"));
    EXPECT_EQ(L"it's here", db.getProperty(L"QUOTED"));
    EXPECT_EQ(L"a quote in the name", db.getProperty(L"IT'S"));
    EXPECT_EQ(259u, statusOf<msi::NoMoreItemsError>(
                        [&] { db.getProperty(L"QUOTED' OR Property = 'ProductName"); }));
    RecordingLogAppender log;
    EXPECT_EQ(L"", db.getProperty(std::nothrow, L"it's"));
    EXPECT_TRUE(log.records.empty());
}

TEST(MsiDbTest, UnknownProductHasNoCachedPackage) {
    EXPECT_EQ(1605u, statusOf<msi::Error>([] {
                  msi::Database db(Guid(tstring(L"{00000000-1111-2222-3333-444444444444}")));
              }));
    msi::closeDatabaseView(0);
}

} // namespace
