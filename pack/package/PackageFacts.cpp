#include "PackageFacts.h"

RawPackageFacts readPackageFacts(const tstring& path) { return PackageReading(path).facts(); }

const std::vector<tstring>& propertyNames() {
    static const std::vector<tstring> names{L"ProductCode",    L"UpgradeCode",  L"ProductName",
                                            L"ProductVersion", L"Manufacturer", L"ProductLanguage",
                                            L"ALLUSERS",       L"MSIINSTALLPERUSER"};
    return names;
}
