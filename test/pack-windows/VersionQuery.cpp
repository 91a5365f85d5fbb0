#include "VersionQuery.h"

#include "WindowsApi.h"

tstring queryVersionString(std::vector<uint8_t> record, const tstring& name) {
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(record.data(), (L"\\StringFileInfo\\040904b0\\" + name).c_str(),
                          reinterpret_cast<void**>(&value), &length)) {
        return L"<missing>";
    }
    return tstring(value, length > 0 ? length - 1 : 0);
}
