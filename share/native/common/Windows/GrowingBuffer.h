#pragma once

#include "ErrorHandling.h"
#include "WindowsApi.h"
#include "tstrings.h"

#include <optional>
#include <vector>

// The text that a system call writes into a buffer of wide characters, with
// the buffer grown to whatever the call asks for. `fill(buffer, capacity)`
// answers as most such calls do: the length of the text when it fitted (less
// than the capacity), the capacity it needs when it did not, 0 on failure. A
// call that cannot say what it needs answers the capacity itself, and the
// buffer doubles. Gives nothing when the call answered 0, with the call's
// code still in GetLastError; a call that does not fit after `maxPasses`
// throws "Unexpected reply from <label>".
template <class Fill>
std::optional<tstring> fillGrowingBuffer(Fill fill, DWORD capacity, const char* label,
                                         int maxPasses = 8) {
    std::vector<wchar_t> buffer(capacity, L'\0');
    for (int pass = 0; pass < maxPasses; ++pass) {
        const DWORD answer = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (answer == 0) {
            return std::nullopt;
        }
        if (answer < buffer.size()) {
            return tstring(buffer.data(), answer);
        }
        buffer.assign(answer > buffer.size() ? answer : buffer.size() * 2, L'\0');
    }
    VK_THROW_MSG("Unexpected reply from " << label);
}
