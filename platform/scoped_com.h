// Scoped owners for COM: the thread's COM library, an interface pointer and
// a BSTR. Each is released on every way out; copy is forbidden.
#pragma once
#include "platform/win.h"

#include <objbase.h>
#include <oleauto.h>

// COM initialised for the calling thread for the life of the object, and
// uninitialised again only when this object initialised it.
class ScopedComInit {
public:
    ScopedComInit() : result_(CoInitialize(nullptr)) {}
    ~ScopedComInit()
    {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ScopedComInit(const ScopedComInit&) = delete;
    ScopedComInit& operator=(const ScopedComInit&) = delete;
    bool Ok() const { return SUCCEEDED(result_); }
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

// One reference to an interface, released when the object goes.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* Get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // For out-parameters: releases what is held first.
    Interface** Receive()
    {
        Reset();
        return &pointer_;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
    void Reset()
    {
        if (pointer_ != nullptr) pointer_->Release();
        pointer_ = nullptr;
    }

private:
    Interface* pointer_ = nullptr;
};

// A BSTR the caller owns (null stands for the empty text).
class ScopedBstr {
public:
    ScopedBstr() = default;
    explicit ScopedBstr(const wchar_t* text) : text_(SysAllocString(text)) {}
    ~ScopedBstr() { SysFreeString(text_); }
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;

    BSTR Get() const { return text_; }
    UINT Length() const { return SysStringLen(text_); }
    BSTR* Receive()
    {
        SysFreeString(text_);
        text_ = nullptr;
        return &text_;
    }

private:
    BSTR text_ = nullptr;
};
