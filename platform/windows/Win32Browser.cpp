#include "platform/windows/Win32Browser.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "platform/windows/Win32Text.h"

namespace platform {
namespace {

constexpr wchar_t kProgId[] = L"InternetExplorer.Application";

// How a call fails once the user has closed the browser or its process has died.
constexpr HRESULT kBrowserGone[] = {
    RPC_E_DISCONNECTED,   MAKE_HRESULT(SEVERITY_ERROR, FACILITY_WIN32, RPC_S_SERVER_UNAVAILABLE),
    RPC_E_SERVER_DIED,    RPC_E_SERVER_DIED_DNE,
    CO_E_OBJNOTCONNECTED,
};

bool IsBrowserGone(HRESULT status) {
  return std::find(std::begin(kBrowserGone), std::end(kBrowserGone), status) !=
         std::end(kBrowserGone);
}

}  // namespace

Win32Browser::Win32Browser(IDispatch* browser) : browser_(browser) {}

Win32Browser::~Win32Browser() {
  browser_->Release();
}

// The cheapest member to read tells whether the browser's process still answers.
bool Win32Browser::alive() {
  getBool(L"Visible");
  return !gone_;
}

void Win32Browser::navigate(std::string_view url) {
  const std::wstring text = Utf8ToUtf16(url);
  VARIANT argument;
  VariantInit(&argument);
  argument.vt = VT_BSTR;
  argument.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  DISPPARAMS arguments{&argument, nullptr, 1, 0};
  invoke(L"Navigate", DISPATCH_METHOD, arguments, nullptr);
  VariantClear(&argument);
}

bool Win32Browser::busy() {
  return getBool(L"Busy");
}

HRESULT Win32Browser::invoke(const wchar_t* name, WORD kind, DISPPARAMS& arguments,
                             VARIANT* result) {
  // A lost browser would only make every later call wait for its time-out.
  if (gone_) return RPC_E_DISCONNECTED;
  DISPID id = DISPID_UNKNOWN;
  HRESULT status = idOf(name, id);
  if (SUCCEEDED(status)) {
    status = browser_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &arguments, result, nullptr,
                              nullptr);
  }
  gone_ = IsBrowserGone(status);
  return status;
}

HRESULT Win32Browser::idOf(const wchar_t* name, DISPID& id) {
  if (const auto known = ids_.find(std::wstring_view(name)); known != ids_.end()) {
    id = known->second;
    return S_OK;
  }
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  const HRESULT status = browser_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(status)) ids_.emplace(name, id);
  return status;
}

void Win32Browser::put(const wchar_t* name, bool value) {
  VARIANT argument;
  VariantInit(&argument);
  argument.vt = VT_BOOL;
  argument.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS arguments{&argument, &named, 1, 1};
  invoke(name, DISPATCH_PROPERTYPUT, arguments, nullptr);
}

// False also when the member cannot be read.
bool Win32Browser::getBool(const wchar_t* name) {
  VARIANT value;
  VariantInit(&value);
  DISPPARAMS none{};
  const bool isTrue = SUCCEEDED(invoke(name, DISPATCH_PROPERTYGET, none, &value)) &&
                      value.vt == VT_BOOL && value.boolVal != VARIANT_FALSE;
  VariantClear(&value);
  return isTrue;
}

Win32BrowserFactory::Win32BrowserFactory() {
  initialized_ =
      SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

Win32BrowserFactory::~Win32BrowserFactory() {
  if (initialized_) CoUninitialize();
}

BrowserCreation Win32BrowserFactory::create() {
  CLSID id;
  HRESULT status = CLSIDFromProgID(kProgId, &id);
  IDispatch* browser = nullptr;
  if (SUCCEEDED(status)) {
    status = CoCreateInstance(id, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&browser));
  }
  if (FAILED(status))
    return {nullptr, FromUtf16(CP_UTF8, kProgId), DescribeSystemError(static_cast<DWORD>(status))};
  return {std::make_unique<Win32Browser>(browser), {}, {}};
}

}  // namespace platform
