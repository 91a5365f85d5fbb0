#pragma once

#include "MsiexecStandIn.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

// The setup executables end to end: real packages, the real msiexec of the
// Wine prefix, and what a user sees afterwards. Each test gets a temporary
// directory whose path has a blank and non-ASCII letters, and starts and ends
// with the test products removed.
class InstallerHarness : public testing::Test {
protected:
    static const wchar_t* const demoProductCode;
    // args.msi: writes a few property values to the registry (argumentValue).
    static const wchar_t* const argsProductCode;
    static constexpr uint32_t failureExitCode = static_cast<uint32_t>(-1);
    static constexpr int installStateDefault = 5;
    static constexpr int installStateUnknown = -1;

    void SetUp() override;
    void TearDown() override;

    using Environment = std::vector<std::pair<tstring, tstring>>;

    // Runs a setup executable (one next to the tests, or a full path) with
    // `environment`; `debug` is the value of VELKIN_DEBUG.
    ChildResult runSetup(const tstring& setup, const tstring& args,
                         const tstring& debug = L"") const;
    // Starts one with the given environment, and lets it run.
    std::unique_ptr<ChildProcess> startSetup(const tstring& setup, const tstring& args,
                                             const Environment& setupEnvironment) const;
    // `environment` with the variable `name` set to `value`.
    Environment environmentWith(const tstring& name, const tstring& value) const;
    // Makes `directory` the setup's temporary directory (TMP and TEMP).
    void useTemp(const tstring& directory);
    ChildResult runMsiexec(const tstring& args) const;

    // What the stand-in recorded: its command line, and the files beside the
    // package it was given ("<name> <size>" lines).
    tstring recordedCommandLine() const;
    std::string recordedPackageFolder() const;
    // The installer's own view of a product.
    static int productState(const wchar_t* productCode);
    static void removeTestProducts();
    // The value that args.msi recorded for a property ("v:" and the value),
    // or "<none>".
    static tstring argumentValue(const wchar_t* property);

    // The temporary directory holds what it held when it was chosen: no
    // private directory ("velkin-<16 hexadecimal digits>.tmp") is left, nor
    // anything beside it (a staging file, say).
    void expectNothingLeftBehind() const;

    TestDirectory work;
    tstring temp;
    std::vector<tstring> tempBefore;
    // The setup's environment: TMP, TEMP and VELKIN_TEST_RECORD, and what a
    // test adds.
    Environment environment;
    // Where the recording stand-in for msiexec writes the command line it got.
    tstring record;
};
