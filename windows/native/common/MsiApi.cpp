#include "MsiApi.h"

#include "WinDll.h"

namespace msi {

namespace {

template <class Function>
void resolve(const Dll& library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(library.getFunction(name));
}

Api load(const Dll& library) {
    Api functions{};
    resolve(library, "MsiSetInternalUI", functions.setInternalUI);
    resolve(library, "MsiSetExternalUIW", functions.setExternalUI);
    resolve(library, "MsiEnableLogW", functions.enableLog);
    resolve(library, "MsiConfigureProductExW", functions.configureProductEx);
    resolve(library, "MsiInstallProductW", functions.installProduct);
    resolve(library, "MsiCloseHandle", functions.closeHandle);
    resolve(library, "MsiGetProductInfoW", functions.getProductInfo);
    resolve(library, "MsiGetPropertyW", functions.getProperty);
    resolve(library, "MsiRecordGetStringW", functions.recordGetString);
    resolve(library, "MsiOpenDatabaseW", functions.openDatabase);
    resolve(library, "MsiDatabaseOpenViewW", functions.databaseOpenView);
    resolve(library, "MsiViewExecute", functions.viewExecute);
    resolve(library, "MsiViewFetch", functions.viewFetch);
    resolve(library, "MsiViewModify", functions.viewModify);
    resolve(library, "MsiViewClose", functions.viewClose);
    resolve(library, "MsiCreateRecord", functions.createRecord);
    resolve(library, "MsiRecordGetFieldCount", functions.recordGetFieldCount);
    resolve(library, "MsiRecordIsNull", functions.recordIsNull);
    resolve(library, "MsiRecordGetInteger", functions.recordGetInteger);
    resolve(library, "MsiRecordSetInteger", functions.recordSetInteger);
    resolve(library, "MsiRecordSetStringW", functions.recordSetString);
    resolve(library, "MsiRecordSetStreamW", functions.recordSetStream);
    resolve(library, "MsiRecordReadStream", functions.recordReadStream);
    resolve(library, "MsiGetSummaryInformationW", functions.getSummaryInformation);
    resolve(library, "MsiSummaryInfoGetPropertyW", functions.summaryInfoGetProperty);
    return functions;
}

} // namespace

const Api& api() {
    // Held for the whole process: installer handles outlive any one caller.
    static const Dll library(Dll::System{}, L"msi.dll");
    static const Api functions = load(library);
    return functions;
}

} // namespace msi
