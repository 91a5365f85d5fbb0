// Judges a transform by the installer's own applier: applies it to a copy of
// the base package with msi.dll and commits, then compares every table (the
// columns, each row, a stream column's stream) of the result, as the same
// handle reads it, with the variant's. Streams of no table's row (cabinets)
// are judged by installing: Wine's commit keeps the base's stream of a name
// and lists no stream that the transform adds, while its installer reads
// both from the transform.
// Prints each difference; exits 0 when there is none, 1 when there are, 2
// when the installer fails.
//
//   velkin-test-transform-oracle <base.msi> <variant.msi> <transform.mst> <scratch.msi>

#include <windows.h>

#include <msi.h>
#include <shellapi.h>
#include <msiquery.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

class Handle {
public:
    Handle() = default;
    explicit Handle(MSIHANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_) {
            MsiCloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    MSIHANDLE* out() { return &handle_; }
    MSIHANDLE get() const { return handle_; }

private:
    MSIHANDLE handle_ = 0;
};

struct Failure {
    std::string what;
    UINT status;
};

void check(UINT status, const std::string& what) {
    if (status != ERROR_SUCCESS) {
        throw Failure{what, status};
    }
}

std::string narrow(const std::wstring& text) {
    std::string out(text.size() * 4 + 1, '\0');
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0],
                                         static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(size > 0 ? static_cast<size_t>(size) : 0);
    return out;
}

std::wstring recordString(MSIHANDLE record, UINT field) {
    DWORD size = 0;
    wchar_t empty[1] = L"";
    UINT status = MsiRecordGetStringW(record, field, empty, &size);
    if (status != ERROR_MORE_DATA && status != ERROR_SUCCESS) {
        check(status, "MsiRecordGetString");
    }
    std::wstring text(size + 1, L'\0');
    size = static_cast<DWORD>(text.size());
    check(MsiRecordGetStringW(record, field, &text[0], &size), "MsiRecordGetString");
    text.resize(size);
    return text;
}

// The stream's size and an FNV-1a hash of its bytes.
std::string streamDigest(MSIHANDLE record, UINT field) {
    unsigned long long hash = 1469598103934665603ull;
    unsigned long long size = 0;
    char buffer[65536];
    for (;;) {
        DWORD count = sizeof(buffer);
        check(MsiRecordReadStream(record, field, buffer, &count), "MsiRecordReadStream");
        if (count == 0) {
            break;
        }
        for (DWORD i = 0; i < count; ++i) {
            hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
        }
        size += count;
    }
    char text[64];
    std::snprintf(text, sizeof(text), "<stream %llu bytes %016llx>", size, hash);
    return text;
}

// Every row of a query, each as one line: its fields separated by tabs.
std::vector<std::string> rows(MSIHANDLE database, const std::wstring& query, std::string* columns) {
    Handle view;
    check(MsiDatabaseOpenViewW(database, query.c_str(), view.out()), "MsiDatabaseOpenView " + narrow(query));
    check(MsiViewExecute(view.get(), 0), "MsiViewExecute");
    Handle types;
    check(MsiViewGetColumnInfo(view.get(), MSICOLINFO_TYPES, types.out()), "MsiViewGetColumnInfo");
    Handle names;
    check(MsiViewGetColumnInfo(view.get(), MSICOLINFO_NAMES, names.out()), "MsiViewGetColumnInfo");
    const UINT count = MsiRecordGetFieldCount(types.get());
    std::vector<bool> isStream;
    for (UINT field = 1; field <= count; ++field) {
        const std::wstring type = recordString(types.get(), field);
        isStream.push_back(!type.empty() && (type[0] == L'v' || type[0] == L'V'));
        if (columns) {
            *columns += narrow(recordString(names.get(), field)) + ":" + narrow(type) + " ";
        }
    }
    std::vector<std::string> lines;
    for (;;) {
        Handle record;
        const UINT status = MsiViewFetch(view.get(), record.out());
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        check(status, "MsiViewFetch");
        std::string line;
        for (UINT field = 1; field <= count; ++field) {
            line += field == 1 ? "" : "\t";
            if (MsiRecordIsNull(record.get(), field)) {
                line += "<null>";
            } else if (isStream[field - 1]) {
                line += streamDigest(record.get(), field);
            } else {
                line += narrow(recordString(record.get(), field));
            }
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The whole database, line by line: each table's columns and rows.
std::vector<std::string> dump(MSIHANDLE database) {
    std::vector<std::string> lines;
    std::set<std::string> tables;
    for (const std::string& name : rows(database, L"SELECT `Name` FROM `_Tables`", nullptr)) {
        tables.insert(name);
    }
    for (const std::string& table : tables) {
        std::wstring wide(table.begin(), table.end());
        std::string columns;
        const std::vector<std::string> tableRows = rows(database, L"SELECT * FROM `" + wide + L"`", &columns);
        lines.push_back(table + " columns " + columns);
        for (const std::string& row : tableRows) {
            lines.push_back(table + " row " + row);
        }
    }
    return lines;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc != 5) {
        std::fprintf(stderr, "usage: velkin-test-transform-oracle <base> <variant> <transform> <scratch>\n");
        return 2;
    }
    try {
        if (!CopyFileW(argv[1], argv[4], FALSE)) {
            throw Failure{"CopyFile", GetLastError()};
        }
        Handle applied;
        check(MsiOpenDatabaseW(argv[4], MSIDBOPEN_TRANSACT, applied.out()), "MsiOpenDatabase");
        check(MsiDatabaseApplyTransformW(applied.get(), argv[3], 0), "MsiDatabaseApplyTransform");
        check(MsiDatabaseCommit(applied.get()), "MsiDatabaseCommit");
        Handle variant;
        check(MsiOpenDatabaseW(argv[2], MSIDBOPEN_READONLY, variant.out()), "MsiOpenDatabase");
        const std::vector<std::string> appliedLines = dump(applied.get());
        const std::vector<std::string> variantLines = dump(variant.get());
        std::vector<std::string> missing;
        std::vector<std::string> extra;
        std::set_difference(variantLines.begin(), variantLines.end(), appliedLines.begin(), appliedLines.end(),
                            std::back_inserter(missing));
        std::set_difference(appliedLines.begin(), appliedLines.end(), variantLines.begin(), variantLines.end(),
                            std::back_inserter(extra));
        for (const std::string& line : missing) {
            std::printf("variant only: %s\n", line.c_str());
        }
        for (const std::string& line : extra) {
            std::printf("applied only: %s\n", line.c_str());
        }
        std::printf("%zu lines compared, %zu differ\n", variantLines.size(), missing.size() + extra.size());
        return missing.empty() && extra.empty() ? 0 : 1;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "%s failed: %u\n", failure.what.c_str(), failure.status);
        return 2;
    }
}
