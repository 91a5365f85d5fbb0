# What Microsoft Graph beta documents for the body that creates a Win32 app
# (#microsoft.graph.win32LobApp and the types inside it): every property and
# enumeration value that velkin-pack may write, as the beta reference pages
# list them (win32LobApp, win32LobAppInstallExperience, win32LobAppReturnCode,
# win32LobAppProductCodeRule, win32LobAppMsiInformation, windowsArchitecture).
# graph_beta_problems(body) names whatever the body holds beyond that.

WIN32_LOB_APP = {
    "@odata.type", "id", "displayName", "description", "publisher", "largeIcon", "createdDateTime",
    "lastModifiedDateTime", "isFeatured", "privacyInformationUrl", "informationUrl", "owner", "developer", "notes",
    "uploadState", "publishingState", "isAssigned", "roleScopeTagIds", "dependentAppCount", "supersedingAppCount",
    "supersededAppCount", "committedContentVersion", "fileName", "size", "installCommandLine",
    "uninstallCommandLine", "applicableArchitectures", "allowedArchitectures", "minimumFreeDiskSpaceInMB",
    "minimumMemoryInMB", "minimumNumberOfProcessors", "minimumCpuSpeedInMHz", "detectionRules", "requirementRules",
    "rules", "installExperience", "returnCodes", "msiInformation", "setupFilePath", "minimumSupportedWindowsRelease",
    "displayVersion", "allowAvailableUninstall", "minimumSupportedOperatingSystem",
}
INSTALL_EXPERIENCE = {"runAsAccount": {"system", "user"},
                      "deviceRestartBehavior": {"basedOnReturnCode", "allow", "suppress", "force"},
                      "maxRunTimeInMinutes": None}
RETURN_CODE = {"returnCode": None, "type": {"failed", "success", "softReboot", "hardReboot", "retry"}}
PRODUCT_CODE_RULE = {"@odata.type": {"#microsoft.graph.win32LobAppProductCodeRule"},
                     "ruleType": {"detection", "requirement"}, "productCode": None,
                     "productVersionOperator": {"notConfigured", "equal", "notEqual", "greaterThan",
                                                "greaterThanOrEqual", "lessThan", "lessThanOrEqual"},
                     "productVersion": None}
MSI_INFORMATION = {"productCode": None, "productVersion": None, "upgradeCode": None, "requiresReboot": None,
                   "packageType": {"perMachine", "perUser", "dualPurpose"}, "productName": None, "publisher": None}
# Flags, written joined by commas; allowedArchitectures takes x86, x64 and
# arm64, and with it applicableArchitectures must be none.
WINDOWS_ARCHITECTURE = {"none", "x86", "x64", "arm", "neutral", "arm64"}
ALLOWED_ARCHITECTURES = {"x86", "x64", "arm64"}


def _object_problems(where, value, members):
    problems = []
    if not isinstance(value, dict):
        return [f"{where}: {value!r} is no object"]
    for key, item in value.items():
        if key not in members:
            problems.append(f"{where}: {key} is no documented property")
        elif members[key] is not None and item not in members[key]:
            problems.append(f"{where}.{key}: {item!r} is no documented value")
    return problems


def _flags_problems(where, value, allowed):
    if not isinstance(value, str) or not value or any(flag not in allowed for flag in value.split(",")):
        return [f"{where}: {value!r} is not made of {sorted(allowed)}"]
    return []


def graph_beta_problems(body):
    problems = [f"{key} is no documented property of win32LobApp" for key in body if key not in WIN32_LOB_APP]
    if body.get("@odata.type") != "#microsoft.graph.win32LobApp":
        problems.append(f"@odata.type: {body.get('@odata.type')!r}")
    problems += _object_problems("installExperience", body.get("installExperience"), INSTALL_EXPERIENCE)
    for code in body.get("returnCodes", []):
        problems += _object_problems("returnCodes[]", code, RETURN_CODE)
    for rule in body.get("rules", []):
        problems += _object_problems("rules[]", rule, PRODUCT_CODE_RULE)
    problems += _object_problems("msiInformation", body.get("msiInformation"), MSI_INFORMATION)
    problems += _flags_problems("applicableArchitectures", body.get("applicableArchitectures"), WINDOWS_ARCHITECTURE)
    if body.get("allowedArchitectures") is not None:
        problems += _flags_problems("allowedArchitectures", body["allowedArchitectures"], ALLOWED_ARCHITECTURES)
        if body.get("applicableArchitectures") != "none":
            problems.append("applicableArchitectures must be none beside allowedArchitectures")
    return problems
