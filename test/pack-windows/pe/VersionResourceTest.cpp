#include "VersionQuery.h"
#include "VersionResource.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionResourceTest, SystemReadsWhatWasWritten) {
    VersionInfo info;
    info.version = L"1.2.345";
    info.strings = {{L"ProductName", L"Gr\u00FC\u00DFe Demo"}, {L"CompanyName", L""},
                    {L"FileDescription", L"Demo Setup"}};
    std::vector<uint8_t> record = buildVersionResource(info);

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_SIGNATURE), fixed->dwSignature);
    EXPECT_EQ(MAKELONG(2, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(0, 345), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);

    EXPECT_EQ(L"Gr\u00FC\u00DFe Demo", queryVersionString(record, L"ProductName"));
    EXPECT_EQ(L"", queryVersionString(record, L"CompanyName"));
    EXPECT_EQ(L"Demo Setup", queryVersionString(record, L"FileDescription"));
    EXPECT_EQ(L"<missing>", queryVersionString(record, L"LegalCopyright"));

    DWORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
                                 reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(MAKELONG(0x0409, 1200), *translation);
    EXPECT_EQ(record.size(), static_cast<size_t>(record[0] | record[1] << 8));
}

// Values of 100 KB would wrap the records' 16-bit lengths: each is cut to
// 1021 units and "...", a character beyond the BMP kept whole, and the
// system reads every record, also those behind the long ones.
TEST(VersionResourceTest, LongValuesAreCutSoEveryRecordHolds) {
    const std::wstring longName(100 * 1024, L'N');
    // A surrogate pair across the cut: units 1020 and 1021.
    std::wstring company(1020, L'C');
    company += L"\U0001F600";
    company += std::wstring(100 * 1024, L'c');
    VersionInfo info;
    info.version = L"1.0";
    info.strings = {{L"CompanyName", company},
                    {L"ProductName", longName},
                    {L"ProductVersion", std::wstring(100 * 1024, L'9')},
                    {L"FileDescription", L"Demo Setup"},
                    {L"InternalName", std::wstring(1024, L'i')}};
    const std::vector<uint8_t> record = buildVersionResource(info);
    ASSERT_LT(record.size(), 0x10000u);
    EXPECT_EQ(record.size(), static_cast<size_t>(record[0] | record[1] << 8));

    EXPECT_EQ(std::wstring(1020, L'C') + L"...", queryVersionString(record, L"CompanyName"));
    EXPECT_EQ(std::wstring(1021, L'N') + L"...", queryVersionString(record, L"ProductName"));
    EXPECT_EQ(std::wstring(1021, L'9') + L"...", queryVersionString(record, L"ProductVersion"));
    EXPECT_EQ(L"Demo Setup", queryVersionString(record, L"FileDescription"));
    EXPECT_EQ(std::wstring(1024, L'i'), queryVersionString(record, L"InternalName"));
    DWORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
                                 reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(MAKELONG(0x0409, 1200), *translation);
}

TEST(VersionResourceTest, VersionTextsBecomeFourNumbers) {
    struct Case {
        const wchar_t* text;
        uint16_t parts[4];
    };
    for (const Case& c : {Case{L"1.2.3", {1, 2, 3, 0}}, Case{L"10.20.30.40", {10, 20, 30, 40}},
                          Case{L"", {0, 0, 0, 0}}, Case{L"2.x.7", {2, 0, 7, 0}},
                          Case{L"1.99999", {1, 65535, 0, 0}}, Case{L"3.1-beta.4", {3, 1, 4, 0}}}) {
        uint16_t parts[4];
        parseVersion(c.text, parts);
        EXPECT_EQ(std::vector<uint16_t>(c.parts, c.parts + 4), std::vector<uint16_t>(parts, parts + 4))
            << tstrings::toUtf8(c.text);
    }
}

} // namespace
