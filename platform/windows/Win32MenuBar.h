#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Form.h"

namespace platform {

// A window's menus as native menus. A hidden menu of the bar is only taken off the bar, not
// destroyed, so that its items can still pop up.
class Win32MenuBar {
 public:
  // Item ids count from `firstId`, clear of the window's control ids.
  Win32MenuBar(const std::vector<MenuSpec>& menus, UINT firstId);
  ~Win32MenuBar();
  Win32MenuBar(const Win32MenuBar&) = delete;
  Win32MenuBar& operator=(const Win32MenuBar&) = delete;

  // The bar of the visible menus; null while none is visible, as a window then has no bar.
  HMENU bar() const;
  // Whether the bar changed.
  bool setVisible(std::string_view menu, bool visible);
  // The items of the menu of that name; null when it has none.
  HMENU itemsOf(std::string_view menu) const;
  // The handler of an item's command; null when the id is none of this bar's.
  const std::function<void()>* handlerOf(UINT id) const;

 private:
  struct Entry {
    std::string name;
    std::wstring caption;
    HMENU items = nullptr;  // null: a command of its own on the bar
    UINT id = 0;
    bool visible = true;
  };

  HMENU build(const MenuSpec& menu, UINT& id);
  void insert(const Entry& entry, UINT position) const;

  HMENU bar_;
  UINT firstId_;
  std::vector<Entry> entries_;
  std::map<std::string, HMENU, std::less<>> popUps_;
  std::vector<std::function<void()>> handlers_;
};

}  // namespace platform
