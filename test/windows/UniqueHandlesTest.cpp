#include "TestSupport.h"
#include "UniqueHandles.h"
#include "WindowsApi.h"

#include <gtest/gtest.h>

namespace {

bool isOpen(HANDLE handle) {
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != FALSE;
}

// A call that fills in a handle writes it into the owner itself: what the
// owner held before is closed first, and the new handle is closed with the
// owner.
TEST(UniqueHandlesTest, PutClosesTheOldHandleAndOwnsTheNewOne) {
    UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE old = event.get();
    HANDLE* slot = event.put();
    EXPECT_FALSE(isOpen(old));
    EXPECT_FALSE(event);
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(),
                                  slot, 0, FALSE, DUPLICATE_SAME_ACCESS));
    const HANDLE filled = event.get();
    EXPECT_TRUE(isOpen(filled));
    event.reset();
    EXPECT_FALSE(isOpen(filled));
}

// Closing keeps the thread's last error: a failure reported after clean-up
// still reads its own code.
TEST(UniqueHandlesTest, ClosingKeepsTheLastError) {
    UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ::SetLastError(ERROR_DISK_FULL);
    event.reset();
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), ::GetLastError());
}

} // namespace
