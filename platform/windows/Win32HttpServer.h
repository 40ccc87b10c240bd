#pragma once

#include <windows.h>

#include <memory>
#include <thread>

#include "platform/HttpServer.h"
#include "platform/windows/Win32MessageWindow.h"

namespace platform {

// The system's HTTP Server API (http.sys): the URL http://127.0.0.1:PORT/ in a queue of our own.
// Only requests from the loopback address reach the handler. A thread of ours waits for each
// request and posts it to the backend's message window; the answers go out from the UI thread. A
// user who is no administrator may only take a URL reserved for them: the installer reserves the
// console's.
class Win32HttpServer final : public HttpServer {
 public:
  explicit Win32HttpServer(Win32MessageWindow& window);
  ~Win32HttpServer() override;
  Win32HttpServer(const Win32HttpServer&) = delete;
  Win32HttpServer& operator=(const Win32HttpServer&) = delete;

  std::uint16_t port() const override { return port_; }
  std::string listen(std::uint16_t port, HttpHandler handler) override;

  struct Queue;     // the request queue and the requests still unanswered, which Responders share
  struct Incoming;  // what the waiting thread hands to the UI thread

 private:
  void receive();
  void deliver();

  Win32MessageWindow& window_;
  const UINT message_;
  std::shared_ptr<Queue> queue_;
  std::unique_ptr<Incoming> incoming_;
  HttpHandler handler_;
  std::uint16_t port_ = 0;
  std::thread receiving_;
};

}  // namespace platform
