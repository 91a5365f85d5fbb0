#include "MsiActions.h"

#include "ErrorHandling.h"
#include "Log.h"
#include "MsiApi.h"
#include "MsiUtils.h"

namespace msi {

namespace {

constexpr int installLevelMaximum = 65535;

bool isSuccessStatus(uint32_t status) {
    return status == ERROR_SUCCESS || status == ERROR_SUCCESS_REBOOT_INITIATED ||
           status == ERROR_SUCCESS_REBOOT_REQUIRED;
}

tstring quotePropertyValue(const tstring& value) {
    tstring quoted = tstrings::replace(value, L"\"", L"\"\"");
    if (quoted.empty()) {
        return L"\"\"";
    }
    if (quoted.find_first_of(L" \t") != tstring::npos) {
        return L"\"" + quoted + L"\"";
    }
    return quoted;
}

tstring formatProperties(const std::map<tstring, tstring>& props) {
    tstring text;
    for (const auto& [name, value] : props) {
        text += L" " + name + L"=" + quotePropertyValue(value);
    }
    return tstrings::trim(text, L" \t");
}

// Hands the installer's UI messages to a Callback while it lives.
class CallbackTrigger {
public:
    explicit CallbackTrigger(Callback* callback) {
        api().setExternalUI(adapter, 0xFFFFFFFF, callback);
    }
    ~CallbackTrigger() { api().setExternalUI(nullptr, 0, nullptr); }

    CallbackTrigger(const CallbackTrigger&) = delete;
    CallbackTrigger& operator=(const CallbackTrigger&) = delete;

    static INT CALLBACK adapter(LPVOID context, UINT messageType, LPCWSTR text) {
        if (!context) {
            return 0;
        }
        const uint32_t type = messageType & 0xFF000000u;
        const uint32_t flags = messageType & 0x00FFFFFFu;
        if (!text) {
            return 0;
        }
        try {
            static_cast<Callback*>(context)->notify(type, flags, text);
        }
        VK_LOG_AND_SWALLOW(VK_HERE)
        // The installer goes on with its own handling of every message.
        return 0;
    }
};

class StateImpl : public ActionData::State {
public:
    explicit StateImpl(const ActionData& data)
        : uiLevel_(data.uiLevel), log_(data.logPath),
          callback_(data.callback ? std::make_unique<CallbackTrigger>(data.callback) : nullptr) {}

private:
    class UiLevelGuard {
    public:
        explicit UiLevelGuard(uint32_t level)
            : previous_(api().setInternalUI(static_cast<INSTALLUILEVEL>(level), nullptr)) {}
        ~UiLevelGuard() { api().setInternalUI(previous_, nullptr); }

    private:
        INSTALLUILEVEL previous_;
    };

    class LogGuard {
    public:
        explicit LogGuard(const tstring& path) {
            if (path.empty()) {
                api().enableLog(0, nullptr, 0);
            } else {
                api().enableLog(INSTALLLOGMODE_VERBOSE, path.c_str(), 0);
            }
        }
        ~LogGuard() { api().enableLog(0, nullptr, 0); }
    };

    UiLevelGuard uiLevel_;
    LogGuard log_;
    std::unique_ptr<CallbackTrigger> callback_;
};

ActionStatus configureProduct(const ActionData& data, const tstring& commandLine,
                              INSTALLSTATE state) {
    const tstring code = data.productCode.toString();
    const UINT status =
        api().configureProductEx(code.c_str(), installLevelMaximum, state, commandLine.c_str());
    tstrings::TextBuilder call("MsiConfigureProductEx(");
    call << code << ", " << installLevelMaximum << ", " << static_cast<int>(state) << ", "
         << commandLine << ") ";
    return handleMsiStatus(call, status);
}

} // namespace

bool ActionStatus::succeeded() const { return isSuccessStatus(status); }

void ActionStatus::throwIt() const { VK_THROW(Error(message, status)); }

ActionData::ActionData() : props{{L"REBOOT", L"ReallySuppress"}}, uiLevel(INSTALLUILEVEL_NONE) {}

std::unique_ptr<ActionData::State> ActionData::createState() const {
    return std::make_unique<StateImpl>(*this);
}

tstring ActionData::buildCommandLine() const {
    tstring args = tstrings::trim(extraArgs, L" \t");
    const tstring properties = formatProperties(props);
    if (!args.empty() && !properties.empty()) {
        args += L' ';
    }
    return args + properties;
}

void ActionData::uninstall() const {
    const std::unique_ptr<State> settings = createState();
    const ActionStatus status = removeProduct(*this, buildCommandLine());
    if (!status.succeeded()) {
        status.throwIt();
    }
}

ActionStatus removeProduct(const ActionData& data, const tstring& commandLine) {
    return configureProduct(data, commandLine, INSTALLSTATE_ABSENT);
}

ActionStatus installLocal(const ActionData& data, const tstring& commandLine) {
    return configureProduct(data, commandLine, INSTALLSTATE_LOCAL);
}

ActionStatus install(const tstring& packagePath, const tstring& commandLine) {
    const UINT status = api().installProduct(packagePath.c_str(), commandLine.c_str());
    return handleMsiStatus(tstrings::TextBuilder("MsiInstallProduct(")
                               << packagePath << ", " << commandLine << ") ",
                           status);
}

ActionStatus handleMsiStatus(tstrings::TextBuilder call, uint32_t status) {
    if (isSuccessStatus(status)) {
        call << "succeeded";
        if (status != ERROR_SUCCESS) {
            call << " [" << status << "]";
        }
        VK_INFO(call);
        return ActionStatus{std::string(), status};
    }
    call << "failed [" << status << "]";
    return ActionStatus{call.utf8(), status};
}

} // namespace msi
