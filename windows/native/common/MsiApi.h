#pragma once

#include "MsiUtils.h"
#include "WindowsApi.h"

#include <msi.h>
#include <msiquery.h>

#include <type_traits>

namespace msi {

static_assert(std::is_same_v<MSIHANDLE, MSIHANDLE_T>, "installer handles are filled in by the installer");

// The installer functions the system calls. msi.dll is not one of the
// libraries Windows always takes from the system directory: imported, a copy
// planted next to the executable would be loaded before any of our code runs.
// So it is loaded here, from the system directory, on first use, and every
// call goes through this table.
struct Api {
    decltype(&::MsiSetInternalUI) setInternalUI;
    decltype(&::MsiSetExternalUIW) setExternalUI;
    decltype(&::MsiEnableLogW) enableLog;
    decltype(&::MsiConfigureProductExW) configureProductEx;
    decltype(&::MsiInstallProductW) installProduct;
    decltype(&::MsiCloseHandle) closeHandle;
    decltype(&::MsiGetProductInfoW) getProductInfo;
    decltype(&::MsiQueryProductStateW) queryProductState;
    decltype(&::MsiGetPropertyW) getProperty;
    decltype(&::MsiRecordGetStringW) recordGetString;
    decltype(&::MsiOpenDatabaseW) openDatabase;
    decltype(&::MsiDatabaseOpenViewW) databaseOpenView;
    decltype(&::MsiViewExecute) viewExecute;
    decltype(&::MsiViewFetch) viewFetch;
    decltype(&::MsiViewModify) viewModify;
    decltype(&::MsiViewClose) viewClose;
    decltype(&::MsiCreateRecord) createRecord;
    decltype(&::MsiRecordGetFieldCount) recordGetFieldCount;
    decltype(&::MsiRecordIsNull) recordIsNull;
    decltype(&::MsiRecordGetInteger) recordGetInteger;
    decltype(&::MsiRecordSetInteger) recordSetInteger;
    decltype(&::MsiRecordSetStringW) recordSetString;
    decltype(&::MsiRecordSetStreamW) recordSetStream;
    decltype(&::MsiRecordReadStream) recordReadStream;
    decltype(&::MsiGetSummaryInformationW) getSummaryInformation;
    decltype(&::MsiSummaryInfoGetPropertyW) summaryInfoGetProperty;
};

// Loads the installer library on the first call; throws when it or one of
// the functions is missing.
const Api& api();

} // namespace msi
