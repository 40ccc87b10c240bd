#include <windows.h>

#include <oaidl.h>

#include <map>
#include <string>
#include <vector>

#include "platform/win32/Win32Browser.h"
#include "win32/SelfCheck.h"

namespace {

struct Call {
  std::wstring member;
  WORD kind;
  bool namedPut;      // the one argument is the property's new value
  VARTYPE argument;   // VT_EMPTY when there is none
  bool boolValue;     // of a VT_BOOL argument
  std::wstring text;  // of a VT_BSTR argument, every character of it
};

// The browser's automation object as seen through IDispatch, with a script of what each member
// answers.
class FakeDispatch final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = (iid == IID_IUnknown || iid == IID_IDispatch) ? this : nullptr;
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    ++lookups;
    const auto found = kMembers.find(names[0]);
    if (count != 1 || found == kMembers.end()) return DISP_E_UNKNOWNNAME;
    ids[0] = found->second;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD kind, DISPPARAMS* arguments,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    const std::wstring member = NameOf(id);
    calls.push_back(Describe(member, kind, *arguments));
    if (const auto failure = failures.find(member); failure != failures.end()) {
      return failure->second;
    }
    if (result) {
      result->vt = VT_BOOL;
      result->boolVal = member == L"Busy" && busyAnswer ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
  }

  std::vector<std::wstring> members() const {
    std::vector<std::wstring> names;
    for (const Call& call : calls) names.push_back(call.member);
    return names;
  }

  ULONG references = 1;
  int lookups = 0;
  bool busyAnswer = false;
  std::map<std::wstring, HRESULT> failures;
  std::vector<Call> calls;

 private:
  inline static const std::map<std::wstring, DISPID> kMembers{
      {L"Navigate", 1}, {L"Visible", 2}, {L"Busy", 3}, {L"FullScreen", 4},
      {L"ToolBar", 5},  {L"MenuBar", 6}, {L"Quit", 7}, {L"HWND", 8}};

  static std::wstring NameOf(DISPID id) {
    for (const auto& [name, known] : kMembers) {
      if (known == id) return name;
    }
    return L"?";
  }

  static Call Describe(const std::wstring& member, WORD kind, const DISPPARAMS& arguments) {
    Call call{member, kind, false, VT_EMPTY, false, {}};
    call.namedPut =
        arguments.cNamedArgs == 1 && arguments.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
    if (arguments.cArgs != 1) return call;
    const VARIANT& argument = arguments.rgvarg[0];
    call.argument = argument.vt;
    if (argument.vt == VT_BOOL) call.boolValue = argument.boolVal == VARIANT_TRUE;
    if (argument.vt == VT_BSTR) call.text.assign(argument.bstrVal, SysStringLen(argument.bstrVal));
    return call;
  }
};

bool IsPut(const Call& call, const wchar_t* member, bool value) {
  return call.member == member && call.kind == DISPATCH_PROPERTYPUT && call.namedPut &&
         call.argument == VT_BOOL && call.boolValue == value;
}

}  // namespace

SELFCHECK_TEST(NavigateHandsOverTheUrlExactlyAsUtf16) {
  FakeDispatch fake;
  {
    platform::Win32Browser browser(&fake);
    browser.navigate("http://127.0.0.1:8080/ページ/a b?q=日本語#x");
  }
  CHECK(fake.calls.size() == 1);
  const Call& call = fake.calls[0];
  CHECK(call.member == L"Navigate" && call.kind == DISPATCH_METHOD && !call.namedPut);
  CHECK(call.argument == VT_BSTR && call.text == L"http://127.0.0.1:8080/ページ/a b?q=日本語#x");
}

SELFCHECK_TEST(PropertiesAreWrittenAndReadByName) {
  FakeDispatch fake;
  platform::Win32Browser browser(&fake);
  browser.setVisible(true);
  browser.setFullScreen(false);
  browser.setToolBar(false);
  browser.setMenuBar(false);
  CHECK(fake.calls.size() == 4);
  CHECK(IsPut(fake.calls.at(0), L"Visible", true));
  CHECK(IsPut(fake.calls.at(1), L"FullScreen", false));
  CHECK(IsPut(fake.calls.at(2), L"ToolBar", false));
  CHECK(IsPut(fake.calls.at(3), L"MenuBar", false));
  CHECK(!browser.busy());
  fake.busyAnswer = true;
  CHECK(browser.busy());
  CHECK(fake.calls.back().member == L"Busy" && fake.calls.back().kind == DISPATCH_PROPERTYGET);
}

SELFCHECK_TEST(EachNameIsLookedUpOnce) {
  FakeDispatch fake;
  platform::Win32Browser browser(&fake);
  for (int i = 0; i < 3; ++i) {
    browser.setMenuBar(false);
    browser.busy();
  }
  CHECK(fake.lookups == 2);
}

SELFCHECK_TEST(MembersTheBrowserLacksAreSkipped) {
  FakeDispatch fake;
  fake.failures = {{L"FullScreen", DISP_E_EXCEPTION},
                   {L"ToolBar", E_NOTIMPL},
                   {L"MenuBar", DISP_E_MEMBERNOTFOUND},
                   {L"Busy", E_FAIL}};
  platform::Win32Browser browser(&fake);
  browser.setFullScreen(true);
  browser.setToolBar(false);
  browser.setMenuBar(false);
  CHECK(!browser.busy());
  CHECK(browser.alive());
  browser.navigate("http://127.0.0.1/");
  CHECK(fake.calls.back().member == L"Navigate");
}

SELFCHECK_TEST(ABrowserWhoseProcessIsGoneIsNotAlive) {
  const HRESULT gone[] = {RPC_E_DISCONNECTED, HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE),
                          RPC_E_SERVER_DIED, RPC_E_SERVER_DIED_DNE, CO_E_OBJNOTCONNECTED};
  for (const HRESULT status : gone) {
    FakeDispatch fake;
    platform::Win32Browser browser(&fake);
    CHECK(browser.alive());
    fake.failures = {{L"Visible", status}};
    CHECK(!browser.alive());
    const std::size_t calls = fake.calls.size();
    browser.navigate("http://127.0.0.1/");
    browser.setMenuBar(false);
    CHECK(fake.calls.size() == calls);  // nothing more is asked of a lost browser
  }
}

SELFCHECK_TEST(DroppingTheBrowserReleasesItWithoutQuitting) {
  FakeDispatch fake;
  fake.references = 1;
  {
    platform::Win32Browser browser(&fake);
    browser.setVisible(false);
  }
  CHECK(fake.references == 0);
  CHECK((fake.members() == std::vector<std::wstring>{L"Visible"}));
}
