#include "MsiUtils.h"

#include "Log.h"
#include "MsiApi.h"
#include "PathUtils.h"
#include "Resources.h"
#include "WinDll.h"
#include "UniqueHandles.h"
#include "WinErrorHandling.h"
#include "WinSysInfo.h"

#include <string>
#include <vector>

namespace msi {

namespace {

constexpr uint32_t productNotInstalled = 1605; // ERROR_UNKNOWN_PRODUCT
constexpr uint32_t noSuchProperty = 1608;      // ERROR_UNKNOWN_PROPERTY

// The installer's own description of a status: from its message library,
// else from the system's message table, which knows the installer's codes
// too. Neither a missing library nor a missing text may hide the status.
tstring statusDescription(uint32_t status) {
    tstring text;
    // A library or a text that is missing is no failure worth a record.
    try {
        const Dll messages(Dll::Data{},
                           FileUtils::joinPath(SysInfo::getSystemDir(), L"msimsg.dll"));
        text = StringResource(static_cast<uint16_t>(status), messages.module()).string();
    } catch (const std::exception&) {
    }
    return text.empty() ? systemErrorDescription(status) : text;
}

std::string makeMessage(const std::string& message, uint32_t status) {
    return combineMessages(message, "MSI error [" + std::to_string(status) + "](" +
                                        tstrings::toUtf8(statusDescription(status)) + ")");
}

tstring argumentText(const wchar_t* value) { return value ? tstring(value) : tstring(L"NULL"); }
tstring argumentText(uint32_t value) { return (tstrings::TextBuilder() << value).str(); }

// Reads a string from an installer call of the form
// f(first, second, buffer, &length): the buffer doubles until the text fits.
template <class Function, class First, class Second>
tstring getProperty(Function function, const char* functionName, First first, Second second) {
    std::vector<wchar_t> buffer(20, L'\0');
    DWORD length = static_cast<DWORD>(buffer.size());
    UINT status = function(first, second, buffer.data(), &length);
    while (status == ERROR_MORE_DATA) {
        buffer.assign(buffer.size() * 2, L'\0');
        length = static_cast<DWORD>(buffer.size());
        status = function(first, second, buffer.data(), &length);
    }
    if (status != ERROR_SUCCESS) {
        VK_THROW(Error(tstrings::TextBuilder(functionName)
                           << "(" << argumentText(first) << ", " << argumentText(second)
                           << ") failed",
                       status));
    }
    return tstring(buffer.data(), length);
}

} // namespace

Error::Error(const tstrings::TextBuilder& message, uint32_t status)
    : Error(message.utf8(), status) {}

Error::Error(const std::string& message, uint32_t status)
    : std::runtime_error(makeMessage(message, status)), status_(status) {}

NoMoreItemsError::NoMoreItemsError(const tstrings::TextBuilder& message)
    : Error(message, ERROR_NO_MORE_ITEMS) {}

tstring getProductInfo(const Guid& productCode, const tstring& name) {
    return getProperty(api().getProductInfo, "MsiGetProductInfo", productCode.toString().c_str(),
                       name.c_str());
}

tstring getProductInfo(const std::nothrow_t&, const Guid& productCode, const tstring& name) {
    try {
        return getProductInfo(productCode, name);
    } catch (const std::exception&) {
        return tstring();
    }
}

tstring getInstallerProperty(MSIHANDLE_T handle, const tstring& name) {
    return getProperty(api().getProperty, "MsiGetProperty", handle, name.c_str());
}

tstring getInstallerProperty(const std::nothrow_t&, MSIHANDLE_T handle, const tstring& name) {
    try {
        return getInstallerProperty(handle, name);
    } catch (const std::exception&) {
        return tstring();
    }
}

tstring getRecordString(MSIHANDLE_T record, uint32_t field) {
    return getProperty(api().recordGetString, "MsiRecordGetString", record, field);
}

bool isProductInstalled(const Guid& productCode) {
    try {
        getProductInfo(productCode, L"VersionString");
        return true;
    } catch (const Error& e) {
        return e.getStatus() != productNotInstalled && e.getStatus() != noSuchProperty;
    }
}

bool isProductRegistered(const Guid& productCode) {
    const INSTALLSTATE state = api().queryProductState(productCode.toString().c_str());
    return state == INSTALLSTATE_DEFAULT || state == INSTALLSTATE_ADVERTISED;
}

void closeMSIHANDLE(MSIHANDLE_T handle) {
    if (handle == 0) {
        return;
    }
    try {
        const UINT status = api().closeHandle(handle);
        if (status != ERROR_SUCCESS) {
            VK_WARNING("MsiCloseHandle(" << handle << ") failed with error=" << status);
        }
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
}

bool waitForInstallationCompletion(uint32_t timeoutMs) {
    try {
        const UniqueHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\_MSIExecute"));
        if (!mutex) {
            return true;
        }
        const DWORD result = ::WaitForSingleObject(mutex.get(), timeoutMs);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
            // The wait made us the owner; holding the installer's mutex would
            // keep every later installation waiting for this process.
            ::ReleaseMutex(mutex.get());
        }
        if (timeoutMs != 0) {
            VK_INFO("finish waiting for mutex: " << static_cast<uint32_t>(result));
        }
        return result != WAIT_TIMEOUT;
    }
    VK_LOG_AND_SWALLOW(VK_HERE)
    return true;
}

} // namespace msi
