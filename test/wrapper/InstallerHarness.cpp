#include "InstallerHarness.h"

#include "PathUtils.h"
#include "WindowsApi.h"

#include <algorithm>
#include <iterator>

namespace {

tstring msiexec() { return systemProgram(L"msiexec.exe"); }

} // namespace

const wchar_t* const InstallerHarness::demoProductCode = L"{6F1C0E0A-5B1D-4C7E-9E59-2A8D3B7C4E10}";
const wchar_t* const InstallerHarness::argsProductCode = L"{A1B2C3D4-0001-4E5F-8A9B-0C1D2E3F4A5B}";

void InstallerHarness::SetUp() {
    record = work / L"msiexec.record";
    environment = {{L"VELKIN_TEST_RECORD", record}};
    useTemp(work.directory(L"temp dir \u00E4\u00F6\u00FC"));
    removeTestProducts();
}

void InstallerHarness::TearDown() { removeTestProducts(); }

ChildResult InstallerHarness::runSetup(const tstring& setup, const tstring& args,
                                       const tstring& debug) const {
    Environment setupEnvironment = environment;
    setupEnvironment.emplace_back(L"VELKIN_DEBUG", debug);
    return startSetup(setup, args, setupEnvironment)->finish();
}

std::unique_ptr<ChildProcess> InstallerHarness::startSetup(const tstring& setup, const tstring& args,
                                                           const Environment& setupEnvironment) const {
    const tstring path = FileUtils::isAbsolutePath(setup) ? setup : siblingProgram(setup);
    return std::make_unique<ChildProcess>(path, args, setupEnvironment);
}

InstallerHarness::Environment InstallerHarness::environmentWith(const tstring& name,
                                                                const tstring& value) const {
    Environment changed;
    std::copy_if(environment.begin(), environment.end(), std::back_inserter(changed),
                 [&](const auto& entry) { return entry.first != name; });
    changed.emplace_back(name, value);
    return changed;
}

void InstallerHarness::useTemp(const tstring& directory) {
    temp = directory;
    tempBefore = listDirectory(directory);
    environment = environmentWith(L"TMP", directory);
    environment = environmentWith(L"TEMP", directory);
}

ChildResult InstallerHarness::runMsiexec(const tstring& args) const {
    return runChild(msiexec(), args, {{L"TMP", temp}, {L"TEMP", temp}});
}

tstring InstallerHarness::recordedCommandLine() const {
    const std::string bytes = readFile(record);
    return tstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

std::string InstallerHarness::recordedPackageFolder() const {
    return readFile(record + L".files");
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

void InstallerHarness::removeTestProducts() {
    for (const wchar_t* code : {demoProductCode, argsProductCode}) {
        if (productState(code) == installStateDefault) {
            runChild(msiexec(), L"/x " + tstring(code) + L" /qn");
        }
    }
}

tstring InstallerHarness::argumentValue(const wchar_t* property) {
    wchar_t value[1024] = {};
    DWORD size = sizeof(value);
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Velkin Tests\\Arguments", property,
                       RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        return L"<none>";
    }
    return value;
}

void InstallerHarness::expectNothingLeftBehind() const {
    for (const tstring& name : listDirectory(temp)) {
        EXPECT_TRUE(std::find(tempBefore.begin(), tempBefore.end(), name) != tempBefore.end())
            << "left behind: " << tstrings::toUtf8(name);
    }
}
