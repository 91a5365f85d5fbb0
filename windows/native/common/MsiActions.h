#pragma once

#include "Guid.h"
#include "tstrings.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace msi {

// Receives the installer's UI messages during an action.
class Callback {
public:
    virtual ~Callback() = default;
    // type: the message type in the top 8 bits; flags: the low 24 bits.
    virtual void notify(uint32_t type, uint32_t flags, const tstring& text) = 0;
};

// The result of one installer call: the status, and the failure's text.
struct ActionStatus {
    std::string message;
    uint32_t status;

    // 0, 1641 and 3010 (a restart started or needed) are success.
    bool succeeded() const;
    [[noreturn]] void throwIt() const;
};

// The parameters of one installer action. The installer's UI level, its log
// and the UI message receiver are process-wide settings: a State applies
// them for exactly its own life.
class ActionData {
public:
    class State {
    public:
        virtual ~State() = default;
    };

    ActionData();

    ActionData& setProductCode(const Guid& code) {
        productCode = code;
        return *this;
    }
    ActionData& setProperty(const tstring& name, const tstring& value) {
        props[name] = value;
        return *this;
    }

    std::unique_ptr<State> createState() const;

    // Free text first, then " NAME=value" for each property in name order.
    tstring buildCommandLine() const;

    // Removes the product, with the settings applied; throws on failure.
    void uninstall() const;

    std::map<tstring, tstring> props;
    tstring extraArgs;
    uint32_t uiLevel;
    Callback* callback = nullptr;
    tstring logPath;
    Guid productCode;
};

ActionStatus removeProduct(const ActionData& data, const tstring& commandLine);
ActionStatus installLocal(const ActionData& data, const tstring& commandLine);
ActionStatus install(const tstring& packagePath, const tstring& commandLine);

// The status of an installer call described by `call`: success is logged at
// INFO, a failure's text is kept in the result.
ActionStatus handleMsiStatus(tstrings::TextBuilder call, uint32_t status);

} // namespace msi
