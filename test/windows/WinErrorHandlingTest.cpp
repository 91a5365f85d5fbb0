#include "RecordingLogAppender.h"
#include "TestSupport.h"
#include "WinErrorHandling.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

void deleteInMissingDirectory() {
    const wchar_t* path = L"C:\\velkin-no-such-directory\\file.txt";
    if (!::DeleteFileW(path)) {
        VK_THROW_LAST_ERROR(::DeleteFileW, "DeleteFile(" << path << ") failed");
    }
}

TEST(WinErrorHandlingTest, FailedCallCarriesCodeAndSystemDescription) {
    const auto error = thrown<VkError<SysError>>(deleteInMissingDirectory);
    ASSERT_TRUE(error);
    const std::string what = error->what();
    const std::string original = error->originalMessage();
    EXPECT_TRUE(startsWith(what, "WinErrorHandlingTest.cpp("));
    EXPECT_TRUE(contains(what, ") at {anonymous}::deleteInMissingDirectory(): "));
    EXPECT_EQ("DeleteFile(C:\\velkin-no-such-directory\\file.txt) failed. System error "
              "[3](system error 3 (" + utf8(systemErrorDescription(3)) + "))",
              original);
    EXPECT_EQ(what.substr(what.size() - original.size()), original);
}

TEST(WinErrorHandlingTest, WaitOnInvalidHandleReadsAsOneSentence) {
    const HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x12344));
    ASSERT_EQ(WAIT_FAILED, ::WaitForSingleObject(bogus, 0));
    const DWORD code = ::GetLastError();
    ASSERT_EQ(6u, code);
    const SysError error(tstrings::TextBuilder("WaitForSingleObject() failed"),
                         reinterpret_cast<const void*>(&::WaitForSingleObject), code);
    EXPECT_EQ("WaitForSingleObject() failed. System error [6](system error 6 (" +
                  utf8(systemErrorDescription(6)) + "))",
              std::string(error.what()));
}

TEST(WinErrorHandlingTest, DescriptionsAreOneTrimmedLine) {
    for (const uint32_t code : {2u, 3u, 5u, 6u, 87u, 1400u}) {
        const tstring description = systemErrorDescription(code);
        ASSERT_FALSE(description.empty()) << code;
        EXPECT_NE(L"No description available", description) << code;
        EXPECT_EQ(tstring::npos, description.find_first_of(L"\r\n\t")) << utf8(description);
        EXPECT_NE(L'.', description.back()) << utf8(description);
        EXPECT_NE(L' ', description.back()) << utf8(description);
    }
}

TEST(WinErrorHandlingTest, UnknownCodeHasNoDescription) {
    EXPECT_EQ(L"No description available", systemErrorDescription(0x2FFFFF01u));
    EXPECT_EQ(L"system error 805306113 (No description available)",
              systemErrorText(0x2FFFFF01u));
    // A module without a message table falls back to the system table.
    EXPECT_EQ(systemErrorDescription(5), systemErrorDescription(5, ::GetModuleHandleW(nullptr)));
}

TEST(WinErrorHandlingTest, NullFunctionStillDescribesTheCode) {
    const SysError error(tstrings::TextBuilder("Probe failed"), nullptr, 5);
    EXPECT_EQ("Probe failed. System error [5](system error 5 (" + utf8(systemErrorDescription(5)) +
                  "))",
              std::string(error.what()));
}

TEST(WinErrorHandlingTest, AddressOutsideEveryModuleDropsTheDescription) {
    RecordingLogAppender log;
    const int onTheStack = 0;
    const SysError error(tstrings::TextBuilder("Probe failed"), &onTheStack, 5);
    EXPECT_EQ("Probe failed. System error [5]", std::string(error.what()));
    const auto warnings = log.messages(LogLevel::Warning);
    ASSERT_EQ(1u, warnings.size());
    EXPECT_TRUE(startsWith(warnings[0], L"GetModuleHandleEx() failed for "));
    EXPECT_TRUE(contains(warnings[0], L" address."));
}

TEST(WinErrorHandlingTest, ComErrorUsesTheWin32CodeInside) {
    EXPECT_EQ(L"COM error 0x80070005 (" + systemErrorDescription(5) + L")",
              comErrorText(static_cast<int32_t>(0x80070005u)));
    EXPECT_EQ(L"COM error 0x80004005 (" + systemErrorDescription(0x80004005u) + L")",
              comErrorText(static_cast<int32_t>(0x80004005u)));
}

} // namespace
