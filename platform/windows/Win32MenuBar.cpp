#include "platform/windows/Win32MenuBar.h"

#include "platform/windows/Win32Text.h"

namespace platform {

Win32MenuBar::Win32MenuBar(const std::vector<MenuSpec>& menus, UINT firstId)
    : bar_(CreateMenu()), firstId_(firstId) {
  UINT id = firstId_;
  for (const MenuSpec& menu : menus) {
    Entry entry{menu.name, Utf8ToUtf16(menu.caption)};
    if (menu.items.empty()) {
      entry.id = id++;
      handlers_.push_back(menu.onClick);
    } else {
      entry.items = build(menu, id);
    }
    insert(entry, static_cast<UINT>(entries_.size()));
    entries_.push_back(std::move(entry));
  }
}

Win32MenuBar::~Win32MenuBar() {
  // Taken off first: destroying the bar would destroy the pop-ups on it a second time.
  while (GetMenuItemCount(bar_) > 0) RemoveMenu(bar_, 0, MF_BYPOSITION);
  DestroyMenu(bar_);
  for (const Entry& entry : entries_) {
    if (entry.items) DestroyMenu(entry.items);
  }
}

HMENU Win32MenuBar::bar() const {
  return GetMenuItemCount(bar_) > 0 ? bar_ : nullptr;
}

bool Win32MenuBar::setVisible(std::string_view menu, bool visible) {
  UINT position = 0;
  for (Entry& entry : entries_) {
    if (entry.name == menu && entry.visible != visible) {
      if (visible) insert(entry, position);
      if (!visible) RemoveMenu(bar_, position, MF_BYPOSITION);
      entry.visible = visible;
      return true;
    }
    if (entry.visible) ++position;
  }
  return false;
}

HMENU Win32MenuBar::itemsOf(std::string_view menu) const {
  const auto found = popUps_.find(menu);
  return found == popUps_.end() ? nullptr : found->second;
}

const std::function<void()>* Win32MenuBar::handlerOf(UINT id) const {
  const UINT index = id - firstId_;
  return id >= firstId_ && index < handlers_.size() ? &handlers_[index] : nullptr;
}

HMENU Win32MenuBar::build(const MenuSpec& menu, UINT& id) {
  const HMENU items = CreatePopupMenu();
  for (const MenuSpec& item : menu.items) {
    const std::wstring caption = Utf8ToUtf16(item.caption);
    if (item.items.empty()) {
      AppendMenuW(items, MF_STRING, id++, caption.c_str());
      handlers_.push_back(item.onClick);
    } else {
      AppendMenuW(items, MF_POPUP, reinterpret_cast<UINT_PTR>(build(item, id)), caption.c_str());
    }
  }
  popUps_.emplace(menu.name, items);
  return items;
}

void Win32MenuBar::insert(const Entry& entry, UINT position) const {
  const UINT flags = MF_BYPOSITION | (entry.items ? MF_POPUP : MF_STRING);
  const UINT_PTR item = entry.items ? reinterpret_cast<UINT_PTR>(entry.items) : entry.id;
  InsertMenuW(bar_, position, flags, item, entry.caption.c_str());
}

}  // namespace platform
