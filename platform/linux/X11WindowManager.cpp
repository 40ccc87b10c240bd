#include "platform/linux/X11WindowManager.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

namespace platform {
namespace {

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

// The _NET_WM_STATE message's fields, as Extended Window Manager Hints define them.
constexpr uint32_t kRemoveState = 0, kAddState = 1, kFromApplication = 1;

xcb_atom_t Atom(xcb_connection_t* connection, std::string_view name) {
  const auto cookie =
      xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.data());
  const ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr),
                                                &std::free);
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::vector<xcb_atom_t> States(xcb_connection_t* connection, xcb_window_t window,
                               xcb_atom_t property) {
  const auto cookie = xcb_get_property(connection, 0, window, property, XCB_ATOM_ATOM, 0, 1024);
  const ReplyPtr<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(connection, cookie, nullptr), &std::free);
  if (!reply || reply->format != 32) return {};
  const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
  return {atoms, atoms + reply->value_len};
}

// One of the _NET_WM_STATE states of a top-level window.
class WindowState {
 public:
  WindowState(QWidget& window, std::string_view state) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // The offscreen platform answers too, with no connection.
    if (!x11 || !x11->connection()) return;
    connection_ = x11->connection();
    window_ = static_cast<xcb_window_t>(window.winId());
    property_ = Atom(connection_, "_NET_WM_STATE");
    state_ = Atom(connection_, state);
  }

  bool available() const { return property_ != XCB_ATOM_NONE && state_ != XCB_ATOM_NONE; }

  // Set on the unmapped window, the state is read by the window manager when it maps the
  // window; Qt merges its own states into what it finds there.
  void setBeforeMapping(bool on) {
    std::vector<xcb_atom_t> states = States(connection_, window_, property_);
    if ((std::find(states.begin(), states.end(), state_) != states.end()) == on) return;
    if (on) {
      states.push_back(state_);
    } else {
      std::erase(states, state_);
    }
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, property_, XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(states.size()), states.data());
    xcb_flush(connection_);
  }

  // A mapped window's states are the window manager's, which it changes when asked through the
  // root window.
  void ask(bool on) {
    const ReplyPtr<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window_), nullptr),
        &std::free);
    if (!tree) return;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window_;
    message.type = property_;
    message.data.data32[0] = on ? kAddState : kRemoveState;
    message.data.data32[1] = state_;
    message.data.data32[3] = kFromApplication;
    xcb_send_event(connection_, 0, tree->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection_);
  }

 private:
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t window_ = XCB_WINDOW_NONE;
  xcb_atom_t property_ = XCB_ATOM_NONE;
  xcb_atom_t state_ = XCB_ATOM_NONE;
};

}  // namespace

void KeepOutOfTaskbar(QWidget& window) {
  WindowState skipTaskbar(window, "_NET_WM_STATE_SKIP_TASKBAR");
  if (skipTaskbar.available()) skipTaskbar.setBeforeMapping(true);
}

bool KeepAbove(QWidget& window, bool above) {
  WindowState state(window, "_NET_WM_STATE_ABOVE");
  if (!state.available()) return false;
  if (window.isVisible()) {
    state.ask(above);
  } else {
    state.setBeforeMapping(above);
  }
  return true;
}

}  // namespace platform
