#include "PackageFacts.h"

const std::vector<tstring>& propertyNames() {
    static const std::vector<tstring> names{L"ProductCode",    L"UpgradeCode",  L"ProductName",
                                            L"ProductVersion", L"Manufacturer", L"ProductLanguage",
                                            L"ALLUSERS",       L"MSIINSTALLPERUSER"};
    return names;
}
