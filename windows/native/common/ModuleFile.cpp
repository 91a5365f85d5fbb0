#include "ModuleFile.h"

#include "Log.h"
#include "ModuleImage.h"
#include "StagedFileWriter.h"
#include "WinDll.h"
#include "WinErrorHandling.h"
#include "WinSysInfo.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

// Unmaps a view when it goes.
struct ViewDeleter {
    void operator()(void* view) const { ::UnmapViewOfFile(view); }
};

// Whether `file` is the file whose image the loader mapped at `image`: the
// system compares the files behind two views, as its own loader does to tell
// whether a module is loaded already. (Looked up, not imported: without it
// the caller only loses the quicker copy.)
bool mapsTheSameFile(const uint8_t* image, HANDLE file) {
    using Compare = LONG(NTAPI*)(PVOID, PVOID);
    const Dll ntdll(Dll::Attach{}, L"ntdll.dll");
    const auto compare = reinterpret_cast<Compare>(ntdll.getFunction("NtAreMappedFilesTheSame", false));
    if (!compare) {
        return false;
    }
    const UniqueHandle mapping(::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) {
        return false;
    }
    // The first page is view enough: nothing of it is read.
    const std::unique_ptr<void, ViewDeleter> view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 1));
    return view && compare(const_cast<uint8_t*>(image), view.get()) == 0;
}

[[noreturn]] void throwReadFailed(const tstring& path, DWORD error) {
    VK_THROW_SYS_ERROR(::ReadFile, error, "Cannot read " << path);
}

} // namespace

ModuleFile::ModuleFile(HINSTANCE__* module, UniqueHandle file, tstring path)
    : module_(module), file_(std::move(file)), path_(std::move(path)) {}

std::optional<ModuleFile> ModuleFile::open(HINSTANCE__* module) {
    if (!ModuleImage::isImage(module)) {
        return std::nullopt;
    }
    return open(module, SysInfo::getModulePath(module));
}

std::optional<ModuleFile> ModuleFile::open(HINSTANCE__* module, const tstring& path) {
    // Others may read it, rename it or delete its name, none of which changes
    // what this handle reads; nobody may write to it while the handle lives,
    // and the open fails if someone already may.
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        VK_TRACE("Reading the image itself: " << path << " cannot be opened (system error "
                                              << ::GetLastError() << ")");
        return std::nullopt;
    }
    if (!ModuleImage::isImage(module) || !mapsTheSameFile(ModuleImage::base(module), file.get())) {
        VK_TRACE("Reading the image itself: " << path << " is not the file it was loaded from");
        return std::nullopt;
    }
    return ModuleFile(module, std::move(file), path);
}

void ModuleFile::copyTo(StagedFileWriter& writer, const void* data, size_t size) const {
    const IMAGE_SECTION_HEADER* section = ModuleImage::sectionHolding(module_, data, size);
    if (!section) {
        throwReadFailed(path_, ERROR_INVALID_ADDRESS);
    }
    const uintptr_t address = static_cast<const uint8_t*>(data) - ModuleImage::base(module_);
    LARGE_INTEGER offset{};
    offset.QuadPart = static_cast<LONGLONG>(address - section->VirtualAddress + section->PointerToRawData);
    if (!::SetFilePointerEx(file_.get(), offset, nullptr, FILE_BEGIN)) {
        throwReadFailed(path_, ::GetLastError());
    }
    // Reads at the file pointer, as the writer writes (StagedFileWriter says why).
    std::vector<uint8_t> buffer(std::min(size, StagedFileWriter::pieceSize));
    while (size > 0) {
        const auto wanted = static_cast<DWORD>(std::min(size, buffer.size()));
        DWORD read = 0;
        if (!::ReadFile(file_.get(), buffer.data(), wanted, &read, nullptr)) {
            throwReadFailed(path_, ::GetLastError());
        }
        if (read == 0) {
            throwReadFailed(path_, ERROR_HANDLE_EOF);
        }
        writer.write(buffer.data(), read);
        size -= read;
    }
}
