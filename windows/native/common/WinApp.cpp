#include "WinApp.h"

#include "ErrorHandling.h"
#include "Log.h"
#include "LogAppenders.h"
#include "PathUtils.h"
#include "Unattended.h"
#include "WinDll.h"
#include "WinSysInfo.h"
#include "WindowsApi.h"

#include <cstdio>
#include <memory>

namespace {

// The process's console for one run: standard output and standard error are
// reopened onto it for as long as it lives.
class Console {
public:
    Console() {
        if (::AttachConsole(ATTACH_PARENT_PROCESS) || ::AllocConsole()) {
            output_ = std::make_unique<Channel>(stdout);
            error_ = std::make_unique<Channel>(stderr);
        }
    }

    ~Console() {
        error_.reset();
        output_.reset();
    }

    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

private:
    class Channel {
    public:
        explicit Channel(FILE* stream) {
            const bool input = stream == stdin;
            // The reopen's result is only the stream itself again; when it
            // fails the stream stays as it was, which is all we could do.
            _wfreopen_s(&reopened_, input ? L"CONIN$" : L"CONOUT$", input ? L"r" : L"w", stream);
        }

        virtual ~Channel() {
            if (reopened_) {
                std::fclose(reopened_);
            }
        }

        Channel(const Channel&) = delete;
        Channel& operator=(const Channel&) = delete;

    private:
        FILE* reopened_ = nullptr;
    };

    std::unique_ptr<Channel> output_;
    std::unique_ptr<Channel> error_;
};

// The window functions of a failure. user32.dll pulls gdi32 and more in with
// it and costs every run its start-up; only a failure needs it, so it is
// loaded, from the system directory, then.
struct User32 {
    decltype(&::MessageBoxW) messageBox;
    decltype(&::GetProcessWindowStation) getProcessWindowStation;
    decltype(&::GetUserObjectInformationW) getUserObjectInformation;
};

const User32& user32() {
    return systemLibraryFunctions<User32>(L"user32.dll", [](const Dll& library) {
        User32 functions{};
        library.resolve("MessageBoxW", functions.messageBox);
        library.resolve("GetProcessWindowStation", functions.getProcessWindowStation);
        library.resolve("GetUserObjectInformationW", functions.getUserObjectInformation);
        return functions;
    });
}

bool windowStationVisible() {
    USEROBJECTFLAGS flags{};
    // Where the system cannot tell, a box that nobody answers is the worse
    // outcome: the text still goes to standard error.
    return user32().getUserObjectInformation(user32().getProcessWindowStation(), UOI_FLAGS, &flags,
                                             sizeof(flags), nullptr) &&
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

// The box's caption: the program's file name, from the path the system
// loaded it from; a name that cannot be had must not cost the user the box.
tstring caption() {
    try {
        return FileUtils::leafName(SysInfo::getModulePath(nullptr));
    } catch (const std::exception&) {
        return L"Setup";
    }
}

// Shows the failure being reported in a message box. It is itself a sink of
// the logger while it shows, so what goes wrong here is kept and logged once
// the launch is over: logging it at once would come straight back here.
class LastErrorGuiLogAppender : public LogAppender {
public:
    void append(const LogRecord&) override {
        try {
            // A deployment tool running the setup quietly, or as a service,
            // would wait on the box until it kills the setup.
            if (isUnattended(SysInfo::getCommandLineArguments(), windowStationVisible())) {
                unattended_ = true;
                return;
            }
            const std::string text = app::lastErrorMessage ? *app::lastErrorMessage : std::string();
            // No desktop to show it on (a service, a headless machine): 0 on
            // Windows, -1 on Wine.
            if (user32().messageBox(nullptr, tstrings::fromUtf8(text).c_str(), caption().c_str(),
                                    MB_ICONERROR) <= 0) {
                const DWORD error = ::GetLastError();
                failure_ = (tstrings::TextBuilder("MessageBox() failed with system error ")
                            << error)
                               .str();
            }
        } catch (const std::exception& e) {
            failure_ = (tstrings::TextBuilder("Exception with message '") << e.what() << "' caught")
                           .str();
        } catch (...) {
            failure_ = L"Unknown exception caught";
        }
    }

    void logOutcome() const {
        if (unattended_) {
            VK_INFO("No message box: nobody could answer it in an unattended run");
        }
        if (!failure_.empty()) {
            VK_WARNING(failure_);
        }
    }

private:
    bool unattended_ = false;
    tstring failure_;
};

} // namespace

bool isDebugMode() {
    return SysInfo::getEnvVariable(std::nothrow, L"VELKIN_DEBUG", L"") == L"true";
}

namespace app {

int wlaunch(const std::nothrow_t&, MainFunction mainFunction) {
    std::unique_ptr<Console> console;
    try {
        if (isDebugMode()) {
            console = std::make_unique<Console>();
        }
    }
    VK_LOG_AND_SWALLOW(VK_HERE)

    LastErrorGuiLogAppender messageBox;
    TeeLogAppender lastErrorSinks(&lastErrorLogAppender(), &messageBox);
    const int result = launch(std::nothrow, mainFunction, &lastErrorSinks, isDebugMode());
    messageBox.logOutcome();
    return result;
}

} // namespace app
