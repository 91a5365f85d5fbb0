#pragma once

#include "WindowsApi.h"

#include <utility>

// One owner for every kind of handle: closes what it holds when destroyed or
// given another, keeps the thread's last-error value across the close (so a
// failure reported after clean-up still reads the right code), moves, never
// copies.
template <class Traits>
class UniqueAny {
public:
    using Handle = typename Traits::Handle;

    UniqueAny() = default;
    explicit UniqueAny(Handle handle) : handle_(handle) {}
    ~UniqueAny() { reset(); }

    UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return Traits::isValid(handle_); }

    void reset(Handle handle = Traits::none()) {
        if (Traits::isValid(handle_)) {
            const DWORD lastError = ::GetLastError();
            Traits::close(handle_);
            ::SetLastError(lastError);
        }
        handle_ = handle;
    }

    Handle release() { return std::exchange(handle_, Traits::none()); }

    // For a call that fills in a handle: what the owner held is closed, and
    // the call writes straight into the owner's slot, so the new handle is
    // never without an owner.
    Handle* put() {
        reset();
        return &handle_;
    }

private:
    Handle handle_ = Traits::none();
};

// Kernel calls answer failure with null or with INVALID_HANDLE_VALUE (files,
// searches), so both are "none". (The current-process pseudo-handle has the
// same value, and is never owned.)
inline bool isKernelHandle(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle none() { return nullptr; }
    static bool isValid(Handle handle) { return isKernelHandle(handle); }
    static void close(Handle handle) { ::CloseHandle(handle); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle none() { return nullptr; }
    static bool isValid(Handle handle) { return isKernelHandle(handle); }
    static void close(Handle handle) { ::FindClose(handle); }
};

struct LibraryHandleTraits {
    using Handle = HMODULE;
    static Handle none() { return nullptr; }
    static bool isValid(Handle handle) { return handle != nullptr; }
    static void close(Handle handle) { ::FreeLibrary(handle); }
};

// A process, thread, file or mutex handle.
using UniqueHandle = UniqueAny<KernelHandleTraits>;
// A directory search.
using UniqueFindHandle = UniqueAny<FindHandleTraits>;
// A loaded module, released with FreeLibrary.
using UniqueLibraryHandle = UniqueAny<LibraryHandleTraits>;

// For COM objects (structured storage, streams).
struct ReleaseDeleter {
    template <class Object>
    void operator()(Object* object) const {
        object->Release();
    }
};

// For buffers that the system allocates with LocalAlloc.
struct LocalFreeDeleter {
    void operator()(void* memory) const { ::LocalFree(memory); }
};
