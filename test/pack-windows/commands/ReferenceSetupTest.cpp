// velkin-pack's resource writer against the system's (UpdateResource): for
// every test package, a setup made by each carries the same resources, byte
// for byte, as the system's own resource calls read them.
#include "Packer.h"
#include "ResourceUpdate.h"
#include "TestSupport.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using ResourceMap = std::map<std::wstring, std::string>;

std::wstring identifier(const wchar_t* id) {
    return IS_INTRESOURCE(id) ? L"#" + std::to_wstring(reinterpret_cast<uintptr_t>(id)) : std::wstring(id);
}

struct Enumeration {
    HMODULE module;
    ResourceMap found;
};

// Every resource of a program, keyed "type/name/language", through the
// system's enumeration and LoadResource.
ResourceMap systemResources(const tstring& file) {
    Enumeration enumeration{::LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), {}};
    EXPECT_NE(nullptr, enumeration.module) << tstrings::toUtf8(file);
    ::EnumResourceTypesW(
        enumeration.module,
        [](HMODULE module, LPWSTR type, LONG_PTR context) -> BOOL {
            ::EnumResourceNamesW(
                module, type,
                [](HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR context) -> BOOL {
                    ::EnumResourceLanguagesW(
                        module, type, name,
                        [](HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR context) -> BOOL {
                            const HRSRC found = ::FindResourceExW(module, type, name, language);
                            const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
                            reinterpret_cast<Enumeration*>(context)->found[identifier(type) + L"/" + identifier(name) +
                                                                           L"/" + std::to_wstring(language)] =
                                std::string(data, ::SizeofResource(module, found));
                            return TRUE;
                        },
                        context);
                    return TRUE;
                },
                context);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&enumeration));
    ::FreeLibrary(enumeration.module);
    return enumeration.found;
}

class ReferenceSetupTest : public testing::TestWithParam<const wchar_t*> {
protected:
    TestDirectory dir;
};

TEST_P(ReferenceSetupTest, CarriesWhatTheSystemsWriterWrites) {
    const tstring package = testPackage(GetParam());
    const tstring ours = dir / L"ours\\app-setup.exe";
    dir.directory(L"ours");
    pack(PackRequest{package, ours, siblingProgram(L"velkin-setup.exe"), L"", L"", {}});
    const ResourceMap written = systemResources(ours);

    // The system's writer, given the same resources on a copy of the stub.
    const tstring reference = dir.copy(siblingProgram(L"velkin-setup.exe"), L"reference\\app-setup.exe");
    const std::string msi = readFile(package);
    const std::string& code = written.at(L"#10/PRODUCT_CODE/1033");
    const std::string& version = written.at(L"#16/#1/1033");
    ResourceUpdate(reference)
        .put(RT_RCDATA, L"MSI", 0x0409, msi.data(), msi.size())
        .put(RT_RCDATA, L"PRODUCT_CODE", 0x0409, code.data(), code.size())
        .put(RT_VERSION, MAKEINTRESOURCEW(1), 0x0409, version.data(), version.size())
        .commit();

    const ResourceMap expected = systemResources(reference);
    EXPECT_EQ(msi, written.at(L"#10/MSI/1033"));
    ASSERT_EQ(expected.size(), written.size());
    for (const auto& [key, data] : expected) {
        EXPECT_TRUE(written.count(key) && written.at(key) == data) << tstrings::toUtf8(key);
    }
}

INSTANTIATE_TEST_SUITE_P(TestPackages, ReferenceSetupTest,
                         testing::Values(L"demo.msi", L"peruser.msi", L"permachine.msi", L"args.msi", L"refused.msi",
                                         L"query.msi", L"binary.msi"),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                             std::string name = tstrings::toUtf8(info.param);
                             return name.substr(0, name.find('.'));
                         });

} // namespace
