#pragma once

#include <memory>

#include "platform/HttpServer.h"

namespace platform {

// cpp-httplib's worker threads read the requests; each hands its request to the Qt event loop
// and waits for the UI thread's answer. Needs a QCoreApplication.
class HttplibHttpServer final : public HttpServer {
 public:
  HttplibHttpServer();
  ~HttplibHttpServer() override;
  HttplibHttpServer(const HttplibHttpServer&) = delete;
  HttplibHttpServer& operator=(const HttplibHttpServer&) = delete;

  std::uint16_t port() const override;
  std::string listen(std::uint16_t port, HttpHandler handler) override;

  struct Shared;  // what its threads share; the backend's own

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace platform
