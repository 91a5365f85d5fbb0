#include "TestSupport.h"
#include "WinDll.h"
#include "WinErrorHandling.h"
#include "WinSysInfo.h"

#include <gtest/gtest.h>

namespace {

TEST(WinDllTest, SystemLibraryComesFromTheSystemDirectory) {
    const Dll version(Dll::System{}, L"version.dll");
    EXPECT_EQ(SysInfo::getSystemDir() + L"\\version.dll", version.path());
    EXPECT_NE(nullptr, version.getFunction("GetFileVersionInfoSizeW"));
}

TEST(WinDllTest, MissingFunctionIsNullOrAnError) {
    const Dll kernel(Dll::Attach{}, L"kernel32.dll");
    EXPECT_EQ(nullptr, kernel.getFunction("VelkinNoSuchFunction", false));
    EXPECT_TRUE(startsWith(failureOf<VkError<SysError>>([&] { kernel.getFunction("VelkinNoSuchFunction"); }),
                           "GetProcAddress(kernel32.dll, VelkinNoSuchFunction) failed. System error [127]"));
}

TEST(WinDllTest, AttachingToAModuleNotLoadedFails) {
    const auto attach = [] { const Dll absent(Dll::Attach{}, L"velkin-not-loaded.dll"); };
    EXPECT_TRUE(startsWith(failureOf<VkError<SysError>>(attach),
                           "GetModuleHandleExW(velkin-not-loaded.dll) failed. System error [126]"));
}

TEST(WinDllTest, LoadingAMissingFileFails) {
    TestDirectory dir;
    EXPECT_TRUE(startsWith(failureOf<VkError<SysError>>([&] { const Dll absent(dir / L"absent.dll"); }),
                           "LoadLibraryW(" + tstrings::toUtf8(dir / L"absent.dll") + ") failed"));
}

TEST(WinDllTest, LibraryIsReleasedWithItsOwner) {
    HMODULE loaded = nullptr;
    {
        const Dll library(Dll::System{}, L"msimsg.dll");
        loaded = ::GetModuleHandleW(L"msimsg.dll");
        EXPECT_NE(nullptr, loaded);
    }
    EXPECT_EQ(nullptr, ::GetModuleHandleW(L"msimsg.dll"));
    UniqueLibraryHandle none;
    EXPECT_FALSE(none);
}

} // namespace
