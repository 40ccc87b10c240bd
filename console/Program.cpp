#include "console/Program.h"

#include "console/Page.h"
#include "platform/Paths.h"
#include "platform/Random.h"

namespace console {
namespace {

constexpr std::size_t kSecretBytes = 32;

}  // namespace

Program::Program(Ports ports, platform::HttpServer& server, std::string folder, Options options)
    : files_(ports.files),
      server_(server),
      folder_(std::move(folder)),
      options_(options),
      console_(std::move(ports), folder_, options.callPort) {}

std::string EntryFile(const std::string& folder) {
  return platform::JoinPath(folder, "console.html");
}

std::string Program::entryFile() const {
  return EntryFile(folder_);
}

// The gate knows its port only once the server listens; no request is handled before, as the
// server hands them to this thread's event loop, which runs only after the start.
std::string Program::start() {
  console_.start();
  const std::string problem =
      server_.listen(options_.port, [this](const platform::HttpRequest& request,
                                           std::shared_ptr<platform::HttpResponder> responder) {
        Guarded(gate_, [this](const platform::HttpRequest& passed,
                              std::shared_ptr<platform::HttpResponder> next) {
          if (auto page = PageAnswer(passed)) return next->respond(std::move(*page));
          console_.handle(passed, std::move(next));
        })(request, std::move(responder));
      });
  if (!problem.empty()) return problem;
  const std::string secret = Hex(platform::RandomBytes(kSecretBytes));
  gate_ = std::make_shared<const Gate>(secret, Hex(platform::RandomBytes(kSecretBytes)),
                                       server_.port());
  const std::string url = "http://127.0.0.1:" + std::to_string(server_.port()) + gate_->entry();
  const std::string page =
      "<!DOCTYPE html>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"referrer\" content=\"no-referrer\">\n"
      "<meta http-equiv=\"refresh\" content=\"0; url=" +
      url +
      "\">\n"
      "<title>Velostrander Console</title>\n";
  if (const auto failure = files_.replace(entryFile(), entryFile() + ".new", page)) {
    return "cannot write " + entryFile() + ": " + failure->reason;
  }
  return "";
}

}  // namespace console
