// The console's web server: HTTP/1.1 on the loopback address only, each request handed to the
// program on its UI thread, each answer given at once or later (a long poll).
//
// The contract, which each backend keeps:
// - It listens on 127.0.0.1 only, on the port asked for, or on one the system picks for 0; never
//   on another address, so no other computer can reach it.
// - Every request, whole (its body read to the end), reaches the handler on the UI thread, one at
//   a time, in the order the requests were read; the handler never runs on another thread.
// - The handler gets a Responder for the request. It may answer at once, or keep the Responder
//   and answer later from the UI thread, from a timer or another event (a long poll). The first
//   answer is sent; later ones are ignored. A Responder dropped unanswered answers 503, so no
//   browser waits for ever on a forgotten request.
// - The backend adds only what HTTP itself needs (Content-Length, Date, Connection); every other
//   header is the handler's. A request the backend cannot read (malformed, or over its limits)
//   never reaches the handler.
// - Destroying the server closes the socket and answers every unanswered request 503; a
//   Responder kept beyond it may still be answered, to no effect.
//
// Shaped so that an asynchronous receive loop fits it as well as worker threads do: a request is
// a value, and its answer goes through the Responder whenever the UI thread gives it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
  std::string method;   // "GET", "POST", …, as sent
  std::string path;     // the target's path, still percent-encoded, without "?" and the query
  std::string query;    // after "?", still percent-encoded; empty without one
  HttpHeaders headers;  // names in lower case, in the order sent
  std::string body;

  // The first header of that name (lower case), or "" when there is none.
  std::string header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
      if (key == name) return value;
    }
    return {};
  }
};

struct HttpResponse {
  int status = 200;
  HttpHeaders headers;  // "Content-Type" among them where there is a body
  std::string body;
};

class HttpResponder {
 public:
  virtual ~HttpResponder() = default;
  virtual void respond(HttpResponse response) = 0;
};

using HttpHandler = std::function<void(const HttpRequest&, std::shared_ptr<HttpResponder>)>;

class HttpServer {
 public:
  virtual ~HttpServer() = default;
  // The port it listens on, 0 until listen() has succeeded.
  virtual std::uint16_t port() const = 0;
  // Binds 127.0.0.1:port (0: one the system picks) and serves until destroyed; returns "", or
  // why it could not listen, in the system's words. Called once.
  virtual std::string listen(std::uint16_t port, HttpHandler handler) = 0;
};

}  // namespace platform
