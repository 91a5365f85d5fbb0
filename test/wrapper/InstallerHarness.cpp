#include "InstallerHarness.h"

#include "PathUtils.h"
#include "WindowsApi.h"

#include <regex>

namespace {

tstring msiexec() { return systemProgram(L"msiexec.exe"); }

} // namespace

const wchar_t* const InstallerHarness::demoProductCode = L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}";

void InstallerHarness::SetUp() {
    temp = work.directory(L"temp dir \u00E4\u00F6\u00FC");
    removeDemo();
}

void InstallerHarness::TearDown() { removeDemo(); }

ChildResult InstallerHarness::runSetup(const tstring& setup, const tstring& args,
                                       const tstring& debug) const {
    return runChild(quoted(siblingProgram(setup)) + L" " + args,
                    {{L"TMP", temp}, {L"TEMP", temp}, {L"VELKIN_DEBUG", debug}});
}

ChildResult InstallerHarness::runMsiexec(const tstring& args) const {
    return runChild(quoted(msiexec()) + L" " + args, {{L"TMP", temp}, {L"TEMP", temp}});
}

tstring InstallerHarness::package(const tstring& name) {
    return siblingProgram(L"..\\packages\\" + name);
}

tstring InstallerHarness::demoInstallDir() {
    wchar_t value[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"LOCALAPPDATA", value, MAX_PATH);
    return tstring(value) + L"\\VelkinDemo";
}

int InstallerHarness::productState(const wchar_t* productCode) {
    // msi.dll is loaded only here: linked in, it would make every test of
    // this executable pay for loading it.
    using Query = int(WINAPI*)(const wchar_t*);
    static const HMODULE msi = ::LoadLibraryW(L"msi.dll");
    static const Query query =
        msi ? reinterpret_cast<Query>(
                  reinterpret_cast<void (*)()>(::GetProcAddress(msi, "MsiQueryProductStateW")))
            : nullptr;
    return query ? query(productCode) : -1000;
}

void InstallerHarness::removeDemo() {
    if (productState(demoProductCode) == installStateDefault) {
        runChild(quoted(msiexec()) + L" /x " + demoProductCode + L" /qn");
    }
}

void InstallerHarness::expectNothingLeftBehind() const {
    const std::wregex ours(L"(-?[0-9]+|vkt-?[0-9]+)\\.tmp", std::regex::icase);
    for (const tstring& name : listDirectory(temp)) {
        EXPECT_FALSE(std::regex_match(name, ours)) << "left behind: " << tstrings::toUtf8(name);
    }
}
