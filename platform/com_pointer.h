// Owners for COM: one interface reference, released on every way out, and
// the calling thread's COM initialisation, undone only when this object did it.
#pragma once
#include "platform/win.h"

#include <objbase.h>

template <typename Interface>
class ScopedComPtr {
public:
    ScopedComPtr() = default;
    explicit ScopedComPtr(Interface* taken) : pointer_(taken) {}
    ScopedComPtr(const ScopedComPtr&) = delete;
    ScopedComPtr& operator=(const ScopedComPtr&) = delete;
    ~ScopedComPtr() { Release(); }

    Interface* Get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    // For out-parameters (CoCreateInstance and friends): releases what is held first.
    Interface** Receive()
    {
        Release();
        return &pointer_;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    void Release()
    {
        if (pointer_ != nullptr) pointer_->Release();
        pointer_ = nullptr;
    }

private:
    Interface* pointer_ = nullptr;
};

// CoInitialize for the life of the object, on the thread that made it. A
// thread already initialised in another model keeps it (and COM stays usable).
class ScopedComInit {
public:
    ScopedComInit() : result_(CoInitialize(nullptr)) {}
    ~ScopedComInit()
    {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ScopedComInit(const ScopedComInit&) = delete;
    ScopedComInit& operator=(const ScopedComInit&) = delete;

private:
    HRESULT result_;
};
