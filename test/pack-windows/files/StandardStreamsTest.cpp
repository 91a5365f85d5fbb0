// A standard handle that velkin-pack.exe was started without is opened on
// the null device before anything else; one it has stays.
#include "StandardStreams.h"
#include "TestSupport.h"
#include "WindowsApi.h"

namespace {

TEST(StandardStreams, AMissingHandleReadsNothingAndTakesEverything) {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::SetStdHandle(STD_INPUT_HANDLE, nullptr);
    openMissingStandardStreams();
    const HANDLE opened = ::GetStdHandle(STD_INPUT_HANDLE);
    ::SetStdHandle(STD_INPUT_HANDLE, input);

    ASSERT_NE(nullptr, opened);
    ASSERT_NE(INVALID_HANDLE_VALUE, opened);
    char byte = 0;
    DWORD read = 1;
    EXPECT_TRUE(::ReadFile(opened, &byte, 1, &read, nullptr));
    EXPECT_EQ(0u, read);
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(opened, "x", 1, &written, nullptr));
    EXPECT_EQ(1u, written);
    ::CloseHandle(opened);
    EXPECT_EQ(output, ::GetStdHandle(STD_OUTPUT_HANDLE));
}

} // namespace
