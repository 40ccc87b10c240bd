// The browser driven through a scripted IDispatch: which members are called, how, and with what.
#include <gtest/gtest.h>
#include <windows.h>

#include <oaidl.h>

#include <map>
#include <string>
#include <vector>

#include "platform/windows/Win32Browser.h"

namespace {

// One call as a line: "put Visible true", "get Busy", "call Navigate <url>".
class ScriptedDispatch final : public IDispatch {
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
    if (count != 1) return DISP_E_UNKNOWNNAME;
    members.emplace(names[0], static_cast<DISPID>(members.size() + 1));
    ids[0] = members[names[0]];
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD kind, DISPPARAMS* arguments,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    std::wstring member;
    for (const auto& [name, known] : members) member = known == id ? name : member;
    calls.push_back(Describe(member, kind, *arguments));
    if (const auto failure = failures.find(member); failure != failures.end()) {
      return failure->second;
    }
    if (result) {
      result->vt = VT_BOOL;
      result->boolVal = member == L"Busy" && busy ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
  }

  ULONG references = 1;
  int lookups = 0;
  bool busy = false;
  std::map<std::wstring, HRESULT> failures;
  std::vector<std::wstring> calls;

 private:
  static std::wstring Describe(const std::wstring& member, WORD kind, const DISPPARAMS& arguments) {
    const bool namedPut =
        arguments.cNamedArgs == 1 && arguments.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
    std::wstring call = kind == DISPATCH_METHOD                    ? L"call "
                        : kind == DISPATCH_PROPERTYPUT && namedPut ? L"put "
                        : kind == DISPATCH_PROPERTYGET             ? L"get "
                                                                   : L"? ";
    call += member;
    if (arguments.cArgs != 1) return call;
    const VARIANT& argument = arguments.rgvarg[0];
    if (argument.vt == VT_BOOL)
      return call + (argument.boolVal == VARIANT_TRUE ? L" true" : L" false");
    if (argument.vt == VT_BSTR) {
      return call + L" " + std::wstring(argument.bstrVal, SysStringLen(argument.bstrVal));
    }
    return call + L" ?";
  }

  std::map<std::wstring, DISPID> members;
};

}  // namespace

TEST(Win32Browser, EachCallReachesItsMemberByNameAsAScriptWouldMakeIt) {
  ScriptedDispatch fake;
  {
    platform::Win32Browser browser(&fake);
    browser.navigate("http://127.0.0.1:8080/ページ/a b?q=日本語#x");
    browser.setVisible(true);
    browser.setFullScreen(false);
    browser.setToolBar(false);
    browser.setMenuBar(false);
    EXPECT_FALSE(browser.busy());
    fake.busy = true;
    EXPECT_TRUE(browser.busy());
    browser.setMenuBar(false);
    EXPECT_EQ(fake.references, 1u);
  }
  EXPECT_EQ(fake.calls, (std::vector<std::wstring>{
                            L"call Navigate http://127.0.0.1:8080/ページ/a b?q=日本語#x",
                            L"put Visible true", L"put FullScreen false", L"put ToolBar false",
                            L"put MenuBar false", L"get Busy", L"get Busy", L"put MenuBar false"}));
  EXPECT_EQ(fake.lookups, 6);  // each name once
  // Released when dropped, with no Quit: a hidden browser ends with its last reference.
  EXPECT_EQ(fake.references, 0u);
}

TEST(Win32Browser, MembersTheBrowserLacksAreSkipped) {
  ScriptedDispatch fake;
  fake.failures = {{L"FullScreen", DISP_E_EXCEPTION},
                   {L"ToolBar", E_NOTIMPL},
                   {L"MenuBar", DISP_E_MEMBERNOTFOUND},
                   {L"Busy", E_FAIL}};
  platform::Win32Browser browser(&fake);
  browser.setFullScreen(true);
  browser.setToolBar(false);
  browser.setMenuBar(false);
  EXPECT_FALSE(browser.busy());
  EXPECT_TRUE(browser.alive());
  browser.navigate("http://127.0.0.1/");
  EXPECT_EQ(fake.calls.back(), L"call Navigate http://127.0.0.1/");
}

// Asked nothing more: a lost browser would only make every later call wait for its time-out.
TEST(Win32Browser, ABrowserWhoseProcessIsGoneIsNotAliveAndAskedNothingMore) {
  for (const HRESULT status : {RPC_E_DISCONNECTED, HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE),
                               RPC_E_SERVER_DIED, RPC_E_SERVER_DIED_DNE, CO_E_OBJNOTCONNECTED}) {
    ScriptedDispatch fake;
    platform::Win32Browser browser(&fake);
    EXPECT_TRUE(browser.alive());
    fake.failures = {{L"Visible", status}};
    EXPECT_FALSE(browser.alive());
    const std::size_t calls = fake.calls.size();
    browser.navigate("http://127.0.0.1/");
    browser.setMenuBar(false);
    EXPECT_FALSE(browser.busy());
    EXPECT_EQ(fake.calls.size(), calls);
  }
}
