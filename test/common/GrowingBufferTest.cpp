#include "GrowingBuffer.h"

#include <gtest/gtest.h>

namespace {

// Stands in for a system call that writes `text`: it answers as the kinds of
// call that fillGrowingBuffer serves do when the buffer is too small.
struct TextCall {
    tstring text;
    bool tellsTheSize;
    int calls = 0;

    DWORD operator()(wchar_t* buffer, DWORD capacity) {
        ++calls;
        if (text.size() < capacity) {
            text.copy(buffer, text.size());
            buffer[text.size()] = L'\0';
            return static_cast<DWORD>(text.size());
        }
        // GetModuleFileNameW fills the buffer and answers its capacity.
        if (!tellsTheSize) {
            text.copy(buffer, capacity);
            return capacity;
        }
        return static_cast<DWORD>(text.size() + 1);
    }
};

TEST(GrowingBufferTest, TextThatNeverFitsTheFirstBuffersIsReadWhole) {
    for (const bool tellsTheSize : {true, false}) {
        // Beyond two, and four, times the first capacity.
        TextCall call{tstring(5 * 16 + 3, L'x'), tellsTheSize};
        EXPECT_EQ(call.text, fillGrowingBuffer(std::ref(call), 16, "TextCall"));
        EXPECT_EQ(tellsTheSize ? 2 : 4, call.calls);
    }
}

} // namespace
