#include "VersionResource.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

namespace {

// The system's own parser reads the record back.
tstring queryString(const std::vector<uint8_t>& record, const tstring& name) {
    std::vector<uint8_t> copy = record;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(copy.data(), (L"\\StringFileInfo\\040904b0\\" + name).c_str(),
                          reinterpret_cast<void**>(&value), &length)) {
        return L"<missing>";
    }
    return tstring(value, length > 0 ? length - 1 : 0);
}

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

    EXPECT_EQ(L"Gr\u00FC\u00DFe Demo", queryString(record, L"ProductName"));
    EXPECT_EQ(L"", queryString(record, L"CompanyName"));
    EXPECT_EQ(L"Demo Setup", queryString(record, L"FileDescription"));
    EXPECT_EQ(L"<missing>", queryString(record, L"LegalCopyright"));

    DWORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
                                 reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(MAKELONG(0x0409, 1200), *translation);
    EXPECT_EQ(record.size(), static_cast<size_t>(record[0] | record[1] << 8));
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
