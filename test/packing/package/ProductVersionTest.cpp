#include "ProductVersion.h"

#include <gtest/gtest.h>

namespace {

// major.minor.build[.revision], major and minor up to 255, build (and the
// revision that Windows Installer ignores) up to 65535.
TEST(ProductVersionTest, VersionsWindowsInstallerTakes) {
    for (const wchar_t* version : {L"1", L"1.2", L"1.2.3", L"255.255.65535", L"1.2.3.65535", L"0.0.0.0", L"", L"01.002"}) {
        EXPECT_EQ(L"", ProductVersion::problemWith(version)) << tstrings::toUtf8(version);
    }
    const tstring start = L"' is no version that Windows Installer takes (major.minor.build[.revision]; major and "
                          L"minor up to 255, build up to 65535): ";
    const struct {
        const wchar_t* version;
        const wchar_t* problem;
    } refused[] = {
        {L"1.2-beta", L"its minor version '2-beta' is no number"},
        {L"1.2.3.4.5", L"it has 5 fields"},
        {L"256.0.0", L"its major version 256 is over 255"},
        {L"1.256", L"its minor version 256 is over 255"},
        {L"1.2.65536", L"its build 65536 is over 65535"},
        {L"1.2.3.65536", L"its revision 65536 is over 65535"},
        {L"1.2.1234567", L"its build 1234567 is over 65535"},
        {L"1..2", L"its minor version '' is no number"},
        {L"v1.2", L"its major version 'v1' is no number"},
        {L"1.2.", L"its build '' is no number"},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(tstrings::toUtf8(L"The ProductVersion '" + tstring(c.version) + start + c.problem),
                  tstrings::toUtf8(ProductVersion::problemWith(c.version)));
    }
    EXPECT_THROW(ProductVersion::require(L"1.2-beta"), std::exception);
}

} // namespace
