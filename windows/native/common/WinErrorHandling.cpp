#include "WinErrorHandling.h"

#include "Log.h"
#include "UniqueHandles.h"
#include "WindowsApi.h"

#include <memory>
#include <string>

namespace {

DWORD formatSystemMessage(DWORD code, HMODULE module, wchar_t** buffer) {
    DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    if (module) {
        flags |= FORMAT_MESSAGE_FROM_HMODULE;
    }
    return ::FormatMessageW(flags, module, code, 0, reinterpret_cast<wchar_t*>(buffer), 0,
                            nullptr);
}

std::string makeMessage(const std::string& message, const char* label, const void* function,
                        uint32_t code) {
    std::string text =
        std::string(label ? label : "Some error") + " [" + std::to_string(code) + "]";

    HMODULE module = nullptr;
    bool describe = true;
    if (function) {
        if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                      GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                  static_cast<LPCWSTR>(function), &module)) {
            describe = false;
            VK_WARNING("GetModuleHandleEx() failed for " << function << " address.");
        }
    }
    if (describe) {
        text += "(" + tstrings::toUtf8(systemErrorText(code, module)) + ")";
    }
    return combineMessages(message, text);
}

} // namespace

SysError::SysError(const tstrings::TextBuilder& message, const void* function, uint32_t code,
                   const char* label)
    : std::runtime_error(makeMessage(message.utf8(), label, function, code)), code_(code) {}

tstring systemErrorText(uint32_t code, void* module) {
    return (tstrings::TextBuilder(L"system error ")
            << code << L" (" << systemErrorDescription(code, module) << L")")
        .str();
}

tstring systemErrorDescription(uint32_t code, void* module) {
    const HMODULE source = static_cast<HMODULE>(module);
    wchar_t* raw = nullptr;
    DWORD length = formatSystemMessage(code, source, &raw);
    if (length == 0 && source) {
        length = formatSystemMessage(code, nullptr, &raw);
    }
    if (length == 0) {
        return L"No description available";
    }
    const std::unique_ptr<wchar_t, LocalFreeDeleter> owner(raw);
    tstring description(raw, length);
    for (wchar_t& c : description) {
        if (c < L' ') {
            c = L' ';
        }
    }
    // The system's texts end in a full stop and a line break; the first
    // character always stays.
    size_t end = description.size();
    while (end > 1 && (description[end - 1] <= L' ' || description[end - 1] == L'.')) {
        --end;
    }
    description.resize(end);
    return description;
}

tstring comErrorText(int32_t hresult) {
    const uint32_t value = static_cast<uint32_t>(hresult);
    const uint32_t facility = (value >> 16) & 0x1FFF;
    const uint32_t code = facility == FACILITY_WIN32 ? (value & 0xFFFF) : value;
    return tstrings::format(L"COM error 0x%08X (%ls)", value,
                            systemErrorDescription(code).c_str());
}
