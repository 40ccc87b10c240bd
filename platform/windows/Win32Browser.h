#pragma once

#include <windows.h>

#include <oaidl.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "platform/Browser.h"

namespace platform {

// The "InternetExplorer.Application" automation object, in the browser's own process, driven
// by member name through IDispatch as a script would drive it: any browser registered under
// that name can stand in, with whichever members it has.
class Win32Browser final : public Browser {
 public:
  // Takes over the caller's reference.
  explicit Win32Browser(IDispatch* browser);
  // Drops the reference and sends no Quit: a hidden browser ends with its last reference.
  ~Win32Browser() override;
  Win32Browser(const Win32Browser&) = delete;
  Win32Browser& operator=(const Win32Browser&) = delete;

  bool alive() override;
  void navigate(std::string_view url) override;
  void setVisible(bool visible) override { put(L"Visible", visible); }
  bool busy() override;
  void setFullScreen(bool on) override { put(L"FullScreen", on); }
  void setToolBar(bool on) override { put(L"ToolBar", on); }
  void setMenuBar(bool on) override { put(L"MenuBar", on); }

 private:
  // Any failure but a lost browser process is the member's own (not supported, say) and only
  // skips that step.
  HRESULT invoke(const wchar_t* name, WORD kind, DISPPARAMS& arguments, VARIANT* result);
  HRESULT idOf(const wchar_t* name, DISPID& id);
  void put(const wchar_t* name, bool value);
  bool getBool(const wchar_t* name);

  IDispatch* browser_;
  std::map<std::wstring, DISPID, std::less<>> ids_;  // each name costs a round trip once only
  bool gone_ = false;
};

// COM in a single-threaded apartment on the UI thread, for as long as the factory lives: the
// browser's calls then come and go through the UI thread's message loop.
class Win32BrowserFactory final : public BrowserFactory {
 public:
  Win32BrowserFactory();
  ~Win32BrowserFactory() override;
  Win32BrowserFactory(const Win32BrowserFactory&) = delete;
  Win32BrowserFactory& operator=(const Win32BrowserFactory&) = delete;

  BrowserCreation create() override;

 private:
  bool initialized_ = false;
};

}  // namespace platform
