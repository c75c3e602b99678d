#include "app/security_center.h"

#include "app/app_constants.h"
#include "platform/bounded_text.h"

#include <objbase.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <cstring>

namespace {

constexpr long kNextTimeoutMs = 5000;
constexpr int kMostProducts = 100;
// The byte of productState that tells whether the product is on.
constexpr DWORD kProductOn = 0x1000;

// One reference to a COM interface, released on every way out.
template <typename Interface>
class ComRef {
public:
    ComRef() = default;
    ~ComRef()
    {
        if (pointer_ != nullptr) pointer_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    Interface** Out() { return &pointer_; }  // for a call that fills an empty reference
    Interface* Get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

private:
    Interface* pointer_ = nullptr;
};

class Bstr {
public:
    explicit Bstr(const wchar_t* text) : text_(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return text_; }

private:
    BSTR text_;
};

class Variant {
public:
    Variant() { memset(&value_, 0, sizeof value_); }  // VT_EMPTY
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* Out() { return &value_; }
    const VARIANT& Get() const { return value_; }

private:
    VARIANT value_;
};

class ComApartment {
public:
    ComApartment() : result_(CoInitialize(nullptr)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool Usable() const { return SUCCEEDED(result_); }

private:
    HRESULT result_;
};

std::string TextProperty(IWbemClassObject* object, const wchar_t* name)
{
    Variant value;
    if (FAILED(object->Get(name, 0, value.Out(), nullptr, nullptr)) || value.Get().vt != VT_BSTR ||
        value.Get().bstrVal == nullptr) {
        return std::string();
    }
    char text[kPathSize];
    WideToAnsiText(value.Get().bstrVal, text, sizeof text);
    return text;
}

bool StateProperty(IWbemClassObject* object, DWORD* state)
{
    Variant value;
    if (FAILED(object->Get(L"productState", 0, value.Out(), nullptr, nullptr))) return false;
    switch (value.Get().vt) {
    case VT_I4: *state = static_cast<DWORD>(value.Get().lVal); return true;
    case VT_UI4: *state = value.Get().ulVal; return true;
    case VT_INT: *state = static_cast<DWORD>(value.Get().intVal); return true;
    case VT_UINT: *state = value.Get().uintVal; return true;
    default: return false;
    }
}

void SetCallSecurity(IUnknown* proxy)
{
    CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

bool ListProducts(IWbemServices* services, const wchar_t* query, bool firewall, std::vector<SecurityProduct>* products)
{
    Bstr language(L"WQL");
    Bstr text(query);
    ComRef<IEnumWbemClassObject> results;
    if (FAILED(services->ExecQuery(language.Get(), text.Get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                   nullptr, results.Out())) ||
        !results) {
        return false;
    }
    SetCallSecurity(results.Get());
    for (int i = 0; i < kMostProducts; ++i) {
        ComRef<IWbemClassObject> object;
        ULONG returned = 0;
        const HRESULT next = results->Next(kNextTimeoutMs, 1, object.Out(), &returned);
        if (next == WBEM_S_TIMEDOUT || FAILED(next)) return false;
        if (returned == 0 || !object) break;
        SecurityProduct product;
        product.name = TextProperty(object.Get(), L"displayName");
        product.programPath = TextProperty(object.Get(), L"pathToSignedProductExe");
        product.firewall = firewall;
        DWORD state = 0;
        if (StateProperty(object.Get(), &state)) product.enabled = (state & kProductOn) != 0;
        products->push_back(product);
    }
    return true;
}

}  // namespace

bool QuerySecurityCenter(std::vector<SecurityProduct>* products)
{
    products->clear();
    ComApartment apartment;
    if (!apartment.Usable()) return false;
    ComRef<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(locator.Out()))) ||
        !locator) {
        return false;
    }
    Bstr space(L"ROOT\\SecurityCenter2");
    ComRef<IWbemServices> services;
    if (FAILED(locator->ConnectServer(space.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.Out())) ||
        !services) {
        return false;
    }
    SetCallSecurity(services.Get());
    return ListProducts(services.Get(), L"SELECT * FROM AntiVirusProduct", false, products) &&
           ListProducts(services.Get(), L"SELECT * FROM FirewallProduct", true, products);
}
