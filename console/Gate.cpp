#include "console/Gate.h"

#include <algorithm>
#include <array>

namespace console {
namespace {

constexpr std::string_view kCookie = "velo_console";
constexpr std::string_view kKey = "key=";

// The page and its scripts, styles and pictures come from the console alone; nothing may frame
// it, and no form or link leads its data elsewhere.
constexpr std::string_view kPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "media-src 'self'; connect-src 'self'; frame-ancestors 'none'; base-uri 'none'; "
    "form-action 'self'";

// Compares all of both, so that how long a wrong guess takes tells nothing of the right one.
bool SameSecret(std::string_view given, std::string_view secret) {
  if (secret.empty()) return false;
  unsigned char difference = given.size() == secret.size() ? 0 : 1;
  for (std::size_t i = 0; i < given.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i] ^ secret[i % secret.size()]);
  }
  return difference == 0;
}

platform::HttpResponse Refusal(std::string_view why) {
  return {403, {{"Content-Type", "text/plain; charset=utf-8"}}, std::string(why) + "\n"};
}

std::string Lower(std::string text) {
  std::ranges::transform(text, text.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return text;
}

bool ChangesSomething(const std::string& method) {
  return method != "GET" && method != "HEAD";
}

}  // namespace

Gate::Gate(std::string secret, std::string session, std::uint16_t port)
    : secret_(std::move(secret)), session_(std::move(session)), port_(std::to_string(port)) {}

std::string Gate::entry() const {
  return "/?" + std::string(kKey) + secret_;
}

// A name that a foreign site has made point at 127.0.0.1 (DNS rebinding) arrives with that
// name in Host; only the console's own two are taken.
bool Gate::isOurHost(const std::string& host) const {
  const std::string lower = Lower(host);
  return lower == "127.0.0.1:" + port_ || lower == "localhost:" + port_;
}

bool Gate::hasSession(const std::string& cookies) const {
  std::string_view rest = cookies;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find(';'), rest.size());
    std::string_view pair = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    while (pair.starts_with(' ')) pair.remove_prefix(1);
    if (pair.starts_with(kCookie) && pair.substr(kCookie.size()).starts_with('=') &&
        SameSecret(pair.substr(kCookie.size() + 1), session_)) {
      return true;
    }
  }
  return false;
}

std::optional<platform::HttpResponse> Gate::stop(const platform::HttpRequest& request) const {
  if (!isOurHost(request.header("host"))) return Refusal("このアドレスでは開けません。");
  // Browsers name the page that sends a request which changes something; another site's page
  // open in the teacher's browser must not steer the class.
  const std::string origin = request.header("origin");
  if (ChangesSomething(request.method) &&
      !isOurHost(origin.starts_with("http://") ? origin.substr(7) : std::string())) {
    return Refusal("ほかのページからの操作は受け付けません。");
  }
  if (request.method == "GET" && request.path == "/" && request.query.starts_with(kKey)) {
    if (!SameSecret(std::string_view(request.query).substr(kKey.size()), secret_)) {
      return Refusal("鍵が違います。コンソールを起動し直してください。");
    }
    // Forwarded by the page itself, not by a redirect: a page opened from a file is another
    // site, and a browser would send no SameSite=Strict cookie on a redirect that it started.
    return platform::HttpResponse{200,
                                  {{"Content-Type", "text/html; charset=utf-8"},
                                   {"Set-Cookie", std::string(kCookie) + "=" + session_ +
                                                      "; HttpOnly; SameSite=Strict; Path=/"},
                                   {"Refresh", "0; url=/"}},
                                  "<!DOCTYPE html><title>Velostrander Console</title>\n"};
  }
  if (!hasSession(request.header("cookie"))) {
    return Refusal("コンソールを起動したときに開いたページから使ってください。");
  }
  return std::nullopt;
}

namespace {

// Every answer leaves dressed, whenever it is given.
class Dressed final : public platform::HttpResponder {
 public:
  explicit Dressed(std::shared_ptr<platform::HttpResponder> responder)
      : responder_(std::move(responder)) {}
  void respond(platform::HttpResponse response) override {
    Gate::dress(response);
    responder_->respond(std::move(response));
  }

 private:
  std::shared_ptr<platform::HttpResponder> responder_;
};

}  // namespace

platform::HttpHandler Guarded(std::shared_ptr<const Gate> gate, platform::HttpHandler next) {
  return [gate = std::move(gate), next = std::move(next)](
             const platform::HttpRequest& request,
             std::shared_ptr<platform::HttpResponder> responder) {
    auto dressed = std::make_shared<Dressed>(std::move(responder));
    if (auto stopped = gate->stop(request)) return dressed->respond(std::move(*stopped));
    next(request, std::move(dressed));
  };
}

void Gate::dress(platform::HttpResponse& response) {
  response.headers.emplace_back("Referrer-Policy", "no-referrer");
  response.headers.emplace_back("Content-Security-Policy", std::string(kPolicy));
  response.headers.emplace_back("X-Content-Type-Options", "nosniff");
  response.headers.emplace_back("Cache-Control", "no-store");
}

std::string Hex(const std::string& bytes) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string hex;
  for (const char byte : bytes) {
    hex += kDigits[static_cast<unsigned char>(byte) >> 4];
    hex += kDigits[static_cast<unsigned char>(byte) & 0xF];
  }
  return hex;
}

}  // namespace console
