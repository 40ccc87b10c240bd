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

// A property of 32-bit values (atoms, windows, cardinals); none when the window has gone, which
// is no error the program's own event handling should hear of.
std::vector<uint32_t> Values(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                             xcb_atom_t type) {
  const auto cookie = xcb_get_property(connection, 0, window, property, type, 0, 1024);
  xcb_generic_error_t* error = nullptr;
  const ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection, cookie, &error),
                                                 &std::free);
  std::free(error);
  if (!reply || reply->format != 32) return {};
  const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
  return {values, values + reply->value_len};
}

std::vector<xcb_atom_t> States(xcb_connection_t* connection, xcb_window_t window,
                               xcb_atom_t property) {
  return Values(connection, window, property, XCB_ATOM_ATOM);
}

xcb_connection_t* X11Connection() {
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  // The offscreen platform answers too, with no connection.
  return x11 ? x11->connection() : nullptr;
}

xcb_window_t Root(xcb_connection_t* connection) {
  return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

// One of the _NET_WM_STATE states of a top-level window.
class WindowState {
 public:
  WindowState(QWidget& window, std::string_view state) {
    connection_ = X11Connection();
    if (!connection_) return;
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

// ICCCM's withdrawal: the unmap, and the synthetic UnmapNotify for a window manager that has not
// reparented the window.
std::vector<WithdrawnWindow> WithdrawWindowsOf(int64_t pid) {
  xcb_connection_t* connection = X11Connection();
  if (!connection) return {};
  const xcb_window_t root = Root(connection);
  const xcb_atom_t pidProperty = Atom(connection, "_NET_WM_PID");
  const xcb_atom_t stateProperty = Atom(connection, "_NET_WM_STATE");
  std::vector<WithdrawnWindow> withdrawn;
  for (const xcb_window_t window :
       Values(connection, root, Atom(connection, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW)) {
    if (Values(connection, window, pidProperty, XCB_ATOM_CARDINAL) !=
        std::vector<uint32_t>{static_cast<uint32_t>(pid)}) {
      continue;
    }
    withdrawn.push_back({window, States(connection, window, stateProperty)});
    xcb_unmap_window(connection, window);
    xcb_unmap_notify_event_t notice{};
    notice.response_type = XCB_UNMAP_NOTIFY;
    notice.event = root;
    notice.window = window;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&notice));
  }
  xcb_flush(connection);
  return withdrawn;
}

// The states go back before the mapping, when the window manager reads them.
void MapWindows(const std::vector<WithdrawnWindow>& windows) {
  xcb_connection_t* connection = X11Connection();
  if (!connection) return;
  const xcb_atom_t pidProperty = Atom(connection, "_NET_WM_PID");
  const xcb_atom_t stateProperty = Atom(connection, "_NET_WM_STATE");
  for (const auto& [window, states] : windows) {
    if (Values(connection, window, pidProperty, XCB_ATOM_CARDINAL).empty()) continue;  // gone
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, stateProperty, XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(states.size()), states.data());
    xcb_map_window(connection, window);
  }
  xcb_flush(connection);
}

}  // namespace platform
