#include "WinDll.h"

#include "PathUtils.h"
#include "WinErrorHandling.h"
#include "WinSysInfo.h"

namespace {

UniqueLibraryHandle loadLibrary(const tstring& path) {
    const HMODULE module = ::LoadLibraryW(path.c_str());
    if (!module) {
        VK_THROW_LAST_ERROR(::LoadLibraryW, "LoadLibraryW(" << path << ") failed");
    }
    return UniqueLibraryHandle(module);
}

UniqueLibraryHandle loadData(const tstring& path) {
    const HMODULE module = ::LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        VK_THROW_LAST_ERROR(::LoadLibraryExW, "LoadLibraryExW(" << path << ") failed");
    }
    return UniqueLibraryHandle(module);
}

// Counts as a load of its own: released like one.
UniqueLibraryHandle attach(const tstring& nameOrPath) {
    UniqueLibraryHandle module;
    if (!::GetModuleHandleExW(0, nameOrPath.c_str(), module.put())) {
        VK_THROW_LAST_ERROR(::GetModuleHandleExW, "GetModuleHandleExW(" << nameOrPath << ") failed");
    }
    return module;
}

} // namespace

Dll::Dll(const tstring& path) : path_(path), handle_(loadLibrary(path)) {}

Dll::Dll(System, const tstring& fileName)
    : path_(FileUtils::joinPath(SysInfo::getSystemDir(), fileName)), handle_(loadLibrary(path_)) {}

Dll::Dll(Attach, const tstring& nameOrPath) : path_(nameOrPath), handle_(attach(nameOrPath)) {}

Dll::Dll(Data, const tstring& path) : path_(path), handle_(loadData(path)) {}

Dll::Function Dll::getFunction(const std::string& name, bool required) const {
    const FARPROC function = ::GetProcAddress(handle_.get(), name.c_str());
    if (!function && required) {
        VK_THROW_LAST_ERROR(::GetProcAddress, "GetProcAddress(" << path_ << ", " << name << ") failed");
    }
    // void(*)() is the function type that GCC lets any other be cast to.
    return reinterpret_cast<Function>(function);
}

void restrictLibrarySearchToSystemDirectory() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const FARPROC function = kernel ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (function) {
        constexpr DWORD searchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(
            reinterpret_cast<void (*)()>(function))(searchSystem32);
    }
}
