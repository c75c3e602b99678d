#include "app/security_center.h"

#include "app/app_constants.h"
#include "platform/bounded_text.h"
#include "platform/scoped_com.h"

#include <wbemcli.h>

#include <cstring>

namespace {

constexpr long kNextTimeoutMs = 5000;
constexpr int kMostProducts = 100;
// The byte of productState that tells whether the product is on.
constexpr DWORD kProductOn = 0x1000;

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
    ScopedBstr language(L"WQL");
    ScopedBstr text(query);
    ComPtr<IEnumWbemClassObject> results;
    if (FAILED(services->ExecQuery(language.Get(), text.Get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                   nullptr, results.Receive())) ||
        !results) {
        return false;
    }
    SetCallSecurity(results.Get());
    for (int i = 0; i < kMostProducts; ++i) {
        ComPtr<IWbemClassObject> object;
        ULONG returned = 0;
        const HRESULT next = results->Next(kNextTimeoutMs, 1, object.Receive(), &returned);
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
    ScopedComInit apartment;
    if (!apartment.Ok()) return false;
    ComPtr<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                locator.ReceiveVoid())) ||
        !locator) {
        return false;
    }
    ScopedBstr space(L"ROOT\\SecurityCenter2");
    ComPtr<IWbemServices> services;
    // The flag bounds the wait for an answer (two minutes at most).
    if (FAILED(locator->ConnectServer(space.Get(), nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                      nullptr, services.Receive())) ||
        !services) {
        return false;
    }
    SetCallSecurity(services.Get());
    return ListProducts(services.Get(), L"SELECT * FROM AntiVirusProduct", false, products) &&
           ListProducts(services.Get(), L"SELECT * FROM FirewallProduct", true, products);
}
