#pragma once

#include "tstrings.h"

#include <new>

struct HINSTANCE__;

// Questions to the system about the running process, answered afresh at
// every call.
namespace SysInfo {

enum ProgramPathMode { KeepProgramPath = 0, DropProgramPath = 1 };

// The process's arguments split by the system's rules.
tstring_array getCommandArgs(ProgramPathMode mode = DropProgramPath);
// The process's own command line after the program name and the blanks that
// follow it, exactly as it was given.
tstring getCommandLineArguments();

// Throws when the variable does not exist.
tstring getEnvVariable(const tstring& name);
// Gives `defaultValue` when the variable cannot be read; an empty value is
// still a value.
tstring getEnvVariable(const std::nothrow_t&, const tstring& name, const tstring& defaultValue);
bool isEnvVariableSet(const tstring& name);
void setEnvVariable(const tstring& name, const tstring& value);

// Without trailing separators.
tstring getSystemDir();
tstring getMsiexecPath();
// The user's temporary directory, always absolute, also when it is longer
// than the classic path limit; throws when there is none.
tstring getTempDir();

// The module that holds this code (the executable, or a DLL it is linked into).
HINSTANCE__* getCurrentModuleHandle();
tstring getProcessModulePath();
tstring getCurrentModulePath();
// The file a loaded module came from, as the loader names it.
tstring getModulePath(HINSTANCE__* module);

} // namespace SysInfo
