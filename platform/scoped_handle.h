// Scoped owners for the handles the program opens: one template, one traits
// class per kind. Copy is forbidden, move allowed; Take() gives the raw handle
// up, Close() closes early. Closing keeps the caller's last error code.
#pragma once
#include "platform/win.h"

#include <utility>

template <typename Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    ScopedHandle() : handle_(Traits::NullHandle()) {}
    explicit ScopedHandle(Handle h) : handle_(h) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Take()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept
    {
        if (this != &other) Reset(other.Take());
        return *this;
    }
    ~ScopedHandle() { Close(); }

    bool IsValid() const { return Traits::IsValid(handle_); }
    explicit operator bool() const { return IsValid(); }
    Handle Get() const { return handle_; }

    // For out-parameters (RegOpenKeyEx and friends): closes what is held first.
    Handle* Receive()
    {
        Close();
        return &handle_;
    }

    Handle Take()
    {
        Handle h = handle_;
        handle_ = Traits::NullHandle();
        return h;
    }

    void Reset(Handle h)
    {
        Close();
        handle_ = h;
    }

    void Close()
    {
        if (Traits::IsValid(handle_)) {
            DWORD savedError = GetLastError();
            Traits::Close(handle_);
            SetLastError(savedError);
        }
        handle_ = Traits::NullHandle();
    }

private:
    Handle handle_;
};

// Kernel objects: OpenProcess fails with NULL, CreateFile with
// INVALID_HANDLE_VALUE; both mean "none".
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle NullHandle() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle NullHandle() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};

struct RegKeyTraits {
    using Handle = HKEY;
    static Handle NullHandle() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle NullHandle() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};

using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;
using ScopedFindHandle = ScopedHandle<FindHandleTraits>;
using ScopedRegKey = ScopedHandle<RegKeyTraits>;
using ScopedLibrary = ScopedHandle<ModuleTraits>;
