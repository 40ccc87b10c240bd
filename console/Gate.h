// What keeps the console's page the teacher's alone, in front of every route: the server listens
// on the loopback address only, but every program and every web page in the teacher's browser
// can reach that.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/HttpServer.h"

namespace console {

class Gate {
 public:
  // `secret` reaches the teacher's browser through a file only the teacher can read, and is
  // traded for `session`, the cookie; both are made afresh at each start.
  Gate(std::string secret, std::string session, std::uint16_t port);

  // The path and query that trade the secret for the cookie: the browser is opened on it.
  std::string entry() const;

  // The answer of a request the gate stops (a refusal, or the trade of the secret), or nothing
  // for one that may reach the console.
  std::optional<platform::HttpResponse> stop(const platform::HttpRequest& request) const;

  // The headers every answer carries, the gate's own and the console's alike.
  static void dress(platform::HttpResponse& response);

 private:
  bool isOurHost(const std::string& host) const;
  bool hasSession(const std::string& cookies) const;

  std::string secret_;
  std::string session_;
  std::string port_;
};

// The handler that the server is given: `next` sees only what the gate lets through, and every
// answer, the gate's and next's, leaves dressed.
platform::HttpHandler Guarded(std::shared_ptr<const Gate> gate, platform::HttpHandler next);

// Bytes as lower-case hexadecimal, for a secret that travels in a URL or a cookie.
std::string Hex(const std::string& bytes);

}  // namespace console
