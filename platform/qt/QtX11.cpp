#include "platform/qt/QtX11.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace platform {
namespace {

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t Atom(xcb_connection_t* connection, std::string_view name) {
  const auto cookie =
      xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.data());
  const ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr),
                                                &std::free);
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

bool HasState(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
              xcb_atom_t state) {
  const auto cookie = xcb_get_property(connection, 0, window, property, XCB_ATOM_ATOM, 0, 1024);
  const ReplyPtr<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(connection, cookie, nullptr), &std::free);
  if (!reply || reply->format != 32) return false;
  const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
  for (uint32_t i = 0; i < reply->value_len; ++i) {
    if (atoms[i] == state) return true;
  }
  return false;
}

}  // namespace

// Set on the unmapped window, the state is read by the window manager when it maps the window;
// Qt merges its own states into what it finds there.
void KeepOutOfTaskbar(QWidget& window) {
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11) return;
  xcb_connection_t* connection = x11->connection();
  const auto id = static_cast<xcb_window_t>(window.winId());
  const xcb_atom_t property = Atom(connection, "_NET_WM_STATE");
  const xcb_atom_t skipTaskbar = Atom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
  if (property == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE) return;
  if (HasState(connection, id, property, skipTaskbar)) return;
  xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, property, XCB_ATOM_ATOM, 32, 1,
                      &skipTaskbar);
  xcb_flush(connection);
}

}  // namespace platform
