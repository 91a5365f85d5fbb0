#pragma once

#include "UniqueHandles.h"
#include "tstrings.h"

#include <string>

// A loaded library, held from construction to destruction: every function
// address taken from it is valid only while it lives.
class Dll {
public:
    struct System {};
    struct Attach {};
    struct Data {};

    // Loaded with the platform's library search.
    explicit Dll(const tstring& path);
    // Loaded by full path from the Windows system directory, never from the
    // application or current directory.
    Dll(System, const tstring& fileName);
    // A counted reference to a module that is already loaded.
    Dll(Attach, const tstring& nameOrPath);
    // Mapped only to read its resources: nothing of it runs, and it needs
    // nothing else loaded.
    Dll(Data, const tstring& path);

    using Function = void (*)();
    // Null for a missing function when `required` is false.
    Function getFunction(const std::string& name, bool required = true) const;

    // The function `name` as the type the caller declares for it: a required
    // function, into a table of a library's functions.
    template <class Typed>
    void resolve(const std::string& name, Typed& function) const {
        function = reinterpret_cast<Typed>(getFunction(name));
    }

    const tstring& path() const { return path_; }
    HINSTANCE__* module() const { return handle_.get(); }

private:
    tstring path_;
    UniqueLibraryHandle handle_;
};

// The functions of a library of the system directory, loaded on the first
// call and held for the whole process: for libraries that only some runs
// need, and that would cost every run its start-up if they were imported.
// `resolve` fills the table from the library; each table type is one
// library.
template <class Table>
const Table& systemLibraryFunctions(const wchar_t* fileName, Table (*resolve)(const Dll&)) {
    static const Dll library(Dll::System{}, fileName);
    static const Table functions = resolve(library);
    return functions;
}

// Confines every later library load of the process, the system's own
// included, to the system directory. Windows 7 without its loader update has
// no such switch; there it does nothing.
void restrictLibrarySearchToSystemDirectory();
