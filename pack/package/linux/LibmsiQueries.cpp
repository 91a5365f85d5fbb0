#include "LibmsiQueries.h"

#include "DamagedFile.h"

#include <libmsi.h>

#include <algorithm>
#include <memory>
#include <new>
#include <set>

namespace {

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct TextFree {
    void operator()(gchar* text) const { g_free(text); }
};

template <class T>
using Owned = std::unique_ptr<T, ObjectUnref>;
using OwnedError = std::unique_ptr<GError, ErrorFree>;
using OwnedText = std::unique_ptr<gchar, TextFree>;

[[noreturn]] void fail(const char* what, GError* raw) {
    const OwnedError error(raw);
    if (error && error->domain == LIBMSI_RESULT_ERROR &&
        (error->code == LIBMSI_RESULT_NOT_ENOUGH_MEMORY || error->code == LIBMSI_RESULT_OUTOFMEMORY)) {
        throw std::bad_alloc();
    }
    if (error && error->message && *error->message) {
        VK_THROW_DAMAGED(what << ": " << error->message);
    }
    VK_THROW_DAMAGED(what);
}

tstring text(const LibmsiRecord* record, guint field) {
    const OwnedText value(libmsi_record_get_string(record, field));
    return value ? tstrings::fromUtf8(value.get()) : tstring();
}

// Every row of a query, handed to `row` as it is fetched; a failure names
// `what` was read, never the query's text.
template <class Row>
void eachRow(LibmsiDatabase* db, const char* sql, const char* what, Row row) {
    GError* error = nullptr;
    const Owned<LibmsiQuery> query(libmsi_query_new(db, sql, &error));
    if (!query || !libmsi_query_execute(query.get(), nullptr, &error)) {
        fail(what, error);
    }
    for (;;) {
        const Owned<LibmsiRecord> record(libmsi_query_fetch(query.get(), &error));
        if (!record) {
            break;
        }
        row(record.get());
    }
    if (error) {
        // The end of the rows is no failure.
        g_error_free(error);
    }
}

tstring summaryText(LibmsiSummaryInfo* summary, LibmsiProperty property) {
    if (libmsi_summary_info_get_property_type(summary, property, nullptr) != LIBMSI_PROPERTY_TYPE_STRING) {
        return tstring();
    }
    const gchar* value = libmsi_summary_info_get_string(summary, property, nullptr);
    return value ? tstrings::fromUtf8(value) : tstring();
}

void readSummary(LibmsiDatabase* db, RawPackageFacts& facts) {
    GError* error = nullptr;
    const Owned<LibmsiSummaryInfo> summary(libmsi_summary_info_new(db, 0, &error));
    if (!summary) {
        fail("the summary information cannot be read", error);
    }
    facts.revisionNumber = summaryText(summary.get(), LIBMSI_PROPERTY_UUID);
    facts.subject = summaryText(summary.get(), LIBMSI_PROPERTY_SUBJECT);
    facts.comments = summaryText(summary.get(), LIBMSI_PROPERTY_COMMENTS);
    facts.platformTemplate = summaryText(summary.get(), LIBMSI_PROPERTY_TEMPLATE);
    // libmsi names the word count after the source type it holds.
    if (libmsi_summary_info_get_property_type(summary.get(), LIBMSI_PROPERTY_SOURCE, nullptr) ==
        LIBMSI_PROPERTY_TYPE_INT) {
        facts.wordCount = libmsi_summary_info_get_int(summary.get(), LIBMSI_PROPERTY_SOURCE, nullptr);
    }
}

} // namespace

RawPackageFacts readWithLibmsi(const std::string& path) {
    GError* error = nullptr;
    const Owned<LibmsiDatabase> owned(libmsi_database_new(path.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, &error));
    if (!owned) {
        fail("libmsi cannot open it", error);
    }
    LibmsiDatabase* db = owned.get();
    RawPackageFacts facts;
    std::set<tstring> tables;
    eachRow(db, "SELECT `Name` FROM `_Tables`", "its list of tables cannot be read",
            [&](LibmsiRecord* row) { tables.insert(text(row, 1)); });
    if (tables.count(L"Property")) {
        const std::vector<tstring>& wanted = propertyNames();
        std::set<tstring> seen;
        eachRow(db, "SELECT `Property`, `Value` FROM `Property`", "its Property table cannot be read",
                [&](LibmsiRecord* row) {
            const tstring name = text(row, 1);
            if (!seen.insert(name).second && facts.repeatedProperty.empty()) {
                facts.repeatedProperty = name;
            }
            if (std::find(wanted.begin(), wanted.end(), name) != wanted.end()) {
                facts.properties[name] = text(row, 2);
            }
        });
    }
    readSummary(db, facts);
    if (tables.count(L"Media")) {
        eachRow(db, "SELECT `LastSequence`, `Cabinet` FROM `Media`", "its Media table cannot be read",
                [&](LibmsiRecord* row) {
            facts.disks.push_back(RawPackageFacts::Disk{libmsi_record_get_int(row, 1), text(row, 2)});
        });
    }
    if (tables.count(L"File")) {
        eachRow(db, "SELECT `FileName`, `Attributes`, `Sequence` FROM `File`", "its File table cannot be read",
                [&](LibmsiRecord* row) {
            facts.files.push_back(RawPackageFacts::File{
                text(row, 1), libmsi_record_is_null(row, 2) ? 0 : libmsi_record_get_int(row, 2),
                libmsi_record_get_int(row, 3)});
        });
    }
    // The Authenticode signature is a stream of the package's storage beside
    // the database's own.
    eachRow(db, "SELECT `Name` FROM `_Streams`", "its list of streams cannot be read",
            [&](LibmsiRecord* row) {
        facts.isSigned = facts.isSigned || text(row, 1) == L"\x05" L"DigitalSignature";
    });
    return facts;
}
