#pragma once

#include "TestSupport.h"

#include <gtest/gtest.h>

// The setup executables end to end: real packages, the real msiexec of the
// Wine prefix, and what a user sees afterwards. Each test gets a temporary
// directory whose path has a blank and non-ASCII letters, and starts and ends
// with the demo product removed.
class InstallerHarness : public testing::Test {
protected:
    static const wchar_t* const demoProductCode;
    static constexpr uint32_t failureExitCode = static_cast<uint32_t>(-1);
    static constexpr int installStateDefault = 5;
    static constexpr int installStateUnknown = -1;

    void SetUp() override;
    void TearDown() override;

    // Runs a setup executable next to the tests with the temporary directory
    // above; `debug` is the value of VELKIN_DEBUG.
    ChildResult runSetup(const tstring& setup, const tstring& args,
                         const tstring& debug = L"") const;
    ChildResult runMsiexec(const tstring& args) const;

    static tstring package(const tstring& name);
    static tstring demoInstallDir();
    // The installer's own view of a product.
    static int productState(const wchar_t* productCode);
    static void removeDemo();

    // No working directory ("<number>.tmp") and no staging file
    // ("vkt<number>.tmp") of ours is left.
    void expectNothingLeftBehind() const;

    TestDirectory work;
    tstring temp;
};
