#include "MsiApi.h"

#include "WinDll.h"

namespace msi {

namespace {

Api load(const Dll& library) {
    Api functions{};
    library.resolve("MsiSetInternalUI", functions.setInternalUI);
    library.resolve("MsiSetExternalUIW", functions.setExternalUI);
    library.resolve("MsiEnableLogW", functions.enableLog);
    library.resolve("MsiConfigureProductExW", functions.configureProductEx);
    library.resolve("MsiInstallProductW", functions.installProduct);
    library.resolve("MsiCloseHandle", functions.closeHandle);
    library.resolve("MsiGetProductInfoW", functions.getProductInfo);
    library.resolve("MsiQueryProductStateW", functions.queryProductState);
    library.resolve("MsiGetPropertyW", functions.getProperty);
    library.resolve("MsiRecordGetStringW", functions.recordGetString);
    library.resolve("MsiOpenDatabaseW", functions.openDatabase);
    library.resolve("MsiDatabaseOpenViewW", functions.databaseOpenView);
    library.resolve("MsiViewExecute", functions.viewExecute);
    library.resolve("MsiViewFetch", functions.viewFetch);
    library.resolve("MsiViewModify", functions.viewModify);
    library.resolve("MsiViewClose", functions.viewClose);
    library.resolve("MsiCreateRecord", functions.createRecord);
    library.resolve("MsiRecordGetFieldCount", functions.recordGetFieldCount);
    library.resolve("MsiRecordIsNull", functions.recordIsNull);
    library.resolve("MsiRecordGetInteger", functions.recordGetInteger);
    library.resolve("MsiRecordSetInteger", functions.recordSetInteger);
    library.resolve("MsiRecordSetStringW", functions.recordSetString);
    library.resolve("MsiRecordSetStreamW", functions.recordSetStream);
    library.resolve("MsiRecordReadStream", functions.recordReadStream);
    library.resolve("MsiGetSummaryInformationW", functions.getSummaryInformation);
    library.resolve("MsiSummaryInfoGetPropertyW", functions.summaryInfoGetProperty);
    return functions;
}

} // namespace

const Api& api() {
    // Held for the whole process: installer handles outlive any one caller.
    return systemLibraryFunctions<Api>(L"msi.dll", load);
}

} // namespace msi
