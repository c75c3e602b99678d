// The system's WMI as the subscription page reads it: the locator created
// through COM at run time, the root\subscription namespace, and the instances
// of a class read one by one, each wait bounded, every interface released on
// every way out. BSTR and VARIANT come from oleaut32.dll, looked up at run
// time, so the program file names no library it did not name before.
#include "system/wmi_subscriptions.h"

#include "app/app_state.h"
#include "platform/scoped_com.h"
#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"

#include <wbemcli.h>

#include <string>

namespace {

// Each object has this long to come; a listing as a whole this long.
constexpr long kNextTimeoutMs = 10000;
constexpr DWORD kListingDeadlineMs = 60000;

struct OleAutomation {
    BSTR(WINAPI* allocString)(const OLECHAR* text) = nullptr;
    void(WINAPI* freeString)(BSTR text) = nullptr;
    HRESULT(WINAPI* clearVariant)(VARIANTARG* value) = nullptr;
};

class OleBstr {
public:
    OleBstr(const OleAutomation& ole, const wchar_t* text) : ole_(ole), text_(ole.allocString(text)) {}
    ~OleBstr()
    {
        if (text_ != nullptr) ole_.freeString(text_);
    }
    OleBstr(const OleBstr&) = delete;
    OleBstr& operator=(const OleBstr&) = delete;
    BSTR Get() const { return text_; }

private:
    const OleAutomation& ole_;
    BSTR text_;
};

// A property value as text: strings as they are, whole numbers and truth
// values in decimal; false for anything else (and for a missing property).
bool VariantText(const VARIANT& value, std::wstring* text)
{
    switch (value.vt) {
    case VT_BSTR: *text = value.bstrVal != nullptr ? value.bstrVal : L""; return true;
    case VT_I4: *text = std::to_wstring(value.lVal); return true;
    case VT_UI4: *text = std::to_wstring(value.ulVal); return true;
    case VT_I2: *text = std::to_wstring(value.iVal); return true;
    case VT_UI2: *text = std::to_wstring(value.uiVal); return true;
    case VT_UI1: *text = std::to_wstring(value.bVal); return true;
    case VT_BOOL: *text = value.boolVal != VARIANT_FALSE ? L"1" : L"0"; return true;
    default: return false;
    }
}

// Calls through a proxy carry the caller's identity, as WMI requires; an
// object in this process has no proxy and needs nothing.
void AllowImpersonation(IUnknown* object)
{
    ComPtr<IClientSecurity> security;
    if (FAILED(object->QueryInterface(IID_IClientSecurity, security.ReceiveVoid()))) return;
    security->SetBlanket(object, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

class SystemWmiSource : public WmiSubscriptionSource {
public:
    HRESULT Open() override;
    HRESULT ListObjects(const wchar_t* className, const wchar_t* const* properties, size_t count,
                        std::vector<WmiObject>* objects) override;

private:
    bool ReadProperty(IWbemClassObject* object, const wchar_t* name, std::wstring* text) const;
    WmiObject ReadObject(IWbemClassObject* object, const wchar_t* const* properties, size_t count) const;

    // Declared first, so the interfaces go before the library that serves them.
    ScopedLibrary automationLibrary_;
    OleAutomation ole_;
    ComPtr<IWbemServices> services_;
};

HRESULT SystemWmiSource::Open()
{
    automationLibrary_.Reset(LoadLibraryA("oleaut32.dll"));
    if (!automationLibrary_) return HRESULT_FROM_WIN32(GetLastError());
    HMODULE library = automationLibrary_.Get();
    ole_.allocString = LookupProc<decltype(ole_.allocString)>(library, "SysAllocString");
    ole_.freeString = LookupProc<decltype(ole_.freeString)>(library, "SysFreeString");
    ole_.clearVariant = LookupProc<decltype(ole_.clearVariant)>(library, "VariantClear");
    if (ole_.allocString == nullptr || ole_.freeString == nullptr || ole_.clearVariant == nullptr) {
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }

    ComPtr<IWbemLocator> locator;
    HRESULT result = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                      locator.ReceiveVoid());
    if (FAILED(result)) return result;
    OleBstr name(ole_, L"root\\subscription");
    if (name.Get() == nullptr) return E_OUTOFMEMORY;
    // The flag bounds the wait for an answer (two minutes at most).
    result = locator->ConnectServer(name.Get(), nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                    nullptr, services_.Receive());
    if (FAILED(result)) return result;
    if (!services_) return E_POINTER;
    AllowImpersonation(services_.Get());
    return S_OK;
}

HRESULT SystemWmiSource::ListObjects(const wchar_t* className, const wchar_t* const* properties, size_t count,
                                     std::vector<WmiObject>* objects)
{
    if (!services_) return E_UNEXPECTED;
    OleBstr name(ole_, className);
    if (name.Get() == nullptr) return E_OUTOFMEMORY;
    ComPtr<IEnumWbemClassObject> listing;
    HRESULT result = services_->CreateInstanceEnum(
        name.Get(), WBEM_FLAG_DEEP | WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
        listing.Receive());
    if (FAILED(result)) return result;
    if (!listing) return E_POINTER;
    AllowImpersonation(listing.Get());

    const DWORD started = GetTickCount();
    for (;;) {
        if (IsCancelRequested()) return E_ABORT;
        if (GetTickCount() - started > kListingDeadlineMs) return WBEM_E_TIMED_OUT;
        ComPtr<IWbemClassObject> object;
        ULONG returned = 0;
        result = listing->Next(kNextTimeoutMs, 1, object.Receive(), &returned);
        if (result == WBEM_S_TIMEDOUT) return WBEM_E_TIMED_OUT;
        if (FAILED(result)) return result;
        if (returned == 0 || !object) return S_OK;  // WBEM_S_FALSE: the end
        if (objects->size() >= kWmiObjectLimit) return S_FALSE;
        objects->push_back(ReadObject(object.Get(), properties, count));
    }
}

bool SystemWmiSource::ReadProperty(IWbemClassObject* object, const wchar_t* name, std::wstring* text) const
{
    VARIANT value;
    value.vt = VT_EMPTY;
    if (FAILED(object->Get(name, 0, &value, nullptr, nullptr))) return false;
    const bool found = VariantText(value, text);
    ole_.clearVariant(&value);
    return found;
}

WmiObject SystemWmiSource::ReadObject(IWbemClassObject* object, const wchar_t* const* properties, size_t count) const
{
    WmiObject read;
    ReadProperty(object, L"__CLASS", &read.className);
    ReadProperty(object, L"__RELPATH", &read.relativePath);
    for (size_t i = 0; i < count; ++i) {
        std::wstring text;
        if (ReadProperty(object, properties[i], &text)) read.properties.emplace_back(properties[i], text);
    }
    return read;
}

}  // namespace

const std::wstring* WmiObject::Find(const wchar_t* name) const
{
    for (const auto& property : properties) {
        if (_wcsicmp(property.first.c_str(), name) == 0) return &property.second;
    }
    return nullptr;
}

std::unique_ptr<WmiSubscriptionSource> CreateSystemWmiSource() { return std::make_unique<SystemWmiSource>(); }
