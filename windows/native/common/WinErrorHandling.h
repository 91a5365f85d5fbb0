#pragma once

#include "ErrorHandling.h"
#include "tstrings.h"

#include <cstdint>
#include <stdexcept>
#include <string>

// A failed Windows call: "<message>. System error [5](system error 5 (Access
// is denied))", and the code itself for code that needs it.
class SysError : public std::runtime_error {
public:
    // `function` is the address of the Windows function that failed; its
    // module may describe the code better than the system table does.
    SysError(const tstrings::TextBuilder& message, const void* function, uint32_t code,
             const char* label = "System error");

    uint32_t getCode() const { return code_; }

private:
    uint32_t code_;
};

// "system error <code> (<description>)"
tstring systemErrorText(uint32_t code, void* module = nullptr);
// The system's description of a code, on one line and without the closing
// full stop; "No description available" when the system has none.
tstring systemErrorDescription(uint32_t code, void* module = nullptr);
// "COM error 0x<hresult> (<description>)"
tstring comErrorText(int32_t hresult);

// Throws a SysError for `function`, with the code `code` read right after the
// failing call.
#define VK_THROW_SYS_ERROR(function, code, pieces)                                            \
    VK_THROW(::SysError(::tstrings::TextBuilder() << pieces,                                 \
                        reinterpret_cast<const void*>(&(function)), (code)))

// The same with the thread's last-error value, read before anything else can
// change it.
#define VK_THROW_LAST_ERROR(function, pieces)                                                  \
    do {                                                                                       \
        const uint32_t vkLastError_ = ::GetLastError();                                        \
        VK_THROW_SYS_ERROR(function, vkLastError_, pieces);                                    \
    } while (false)
