#include "platform/linux/HttplibHttpServer.h"

#include <httplib.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

namespace platform {
namespace {

// The console's requests are a few lines of JSON; anything larger is no page of ours.
constexpr std::size_t kMaxBody = 64 * 1024;

HttpResponse Unavailable() {
  return {503, {{"Content-Type", "text/plain; charset=utf-8"}}, "stopping\n"};
}

HttpRequest Convert(const httplib::Request& request) {
  HttpRequest converted{request.method, request.target, "", {}, request.body};
  if (const std::size_t mark = converted.path.find('?'); mark != std::string::npos) {
    converted.query = converted.path.substr(mark + 1);
    converted.path.resize(mark);
  }
  for (const auto& [name, value] : request.headers) {
    std::string lower = name;
    std::ranges::transform(lower, lower.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    converted.headers.emplace_back(std::move(lower), value);
  }
  return converted;
}

}  // namespace

// What the worker threads and the UI thread share; it outlives the server while a worker or a
// queued call still holds it.
struct HttplibHttpServer::Shared {
  httplib::Server server;
  std::thread listening;
  std::atomic<bool> finished = false;  // listening has returned
  HttpHandler handler;                 // read on the UI thread only
  std::uint16_t port = 0;
  std::mutex mutex;  // guards what follows, and every exchange's answer
  std::condition_variable answered;
  bool stopping = false;
};

namespace {

// One request's answer, from the UI thread to the worker that waits for it.
class Exchange {
 public:
  explicit Exchange(std::shared_ptr<HttplibHttpServer::Shared> shared)
      : shared_(std::move(shared)) {}

  void answer(HttpResponse response) {
    {
      const std::lock_guard lock(shared_->mutex);
      if (!answer_) answer_ = std::move(response);
    }
    shared_->answered.notify_all();
  }

  // On the worker: the answer, or 503 when the server stops first.
  HttpResponse await() {
    std::unique_lock lock(shared_->mutex);
    shared_->answered.wait(lock, [this] { return answer_ || shared_->stopping; });
    return answer_ ? *answer_ : Unavailable();
  }

 private:
  std::shared_ptr<HttplibHttpServer::Shared> shared_;
  std::optional<HttpResponse> answer_;
};

// The UI thread's side of an exchange: whoever drops it unanswered answers 503.
class Reply final : public HttpResponder {
 public:
  explicit Reply(std::shared_ptr<Exchange> exchange) : exchange_(std::move(exchange)) {}
  ~Reply() override { exchange_->answer(Unavailable()); }
  Reply(const Reply&) = delete;
  Reply& operator=(const Reply&) = delete;

  void respond(HttpResponse response) override { exchange_->answer(std::move(response)); }

 private:
  std::shared_ptr<Exchange> exchange_;
};

void Serve(const std::shared_ptr<HttplibHttpServer::Shared>& shared,
           const httplib::Request& request, httplib::Response& response) {
  auto exchange = std::make_shared<Exchange>(shared);
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [shared, reply = std::make_shared<Reply>(exchange), converted = Convert(request)]() mutable {
        {
          const std::lock_guard lock(shared->mutex);
          if (shared->stopping) return;
        }
        shared->handler(converted, std::move(reply));
      },
      Qt::QueuedConnection);
  const HttpResponse answer = exchange->await();
  response.status = answer.status;
  for (const auto& [name, value] : answer.headers) response.set_header(name, value);
  response.body = answer.body;
}

}  // namespace

HttplibHttpServer::HttplibHttpServer() : shared_(std::make_shared<Shared>()) {}

HttplibHttpServer::~HttplibHttpServer() {
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
  }
  shared_->answered.notify_all();
  shared_->server.stop();
  if (shared_->listening.joinable()) shared_->listening.join();
}

std::uint16_t HttplibHttpServer::port() const {
  return shared_->port;
}

std::string HttplibHttpServer::listen(std::uint16_t port, HttpHandler handler) {
  shared_->handler = std::move(handler);
  httplib::Server& server = shared_->server;
  // Without httplib's SO_REUSEPORT, which would let a second console share the port.
  server.set_socket_options([](socket_t socket) {
    const int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  });
  server.set_payload_max_length(kMaxBody);
  // httplib writes an answer's headers and its body apart: without this, the body waits for the
  // browser's delayed acknowledgement of the headers, some 40 ms on every answer (a call's too).
  server.set_tcp_nodelay(true);
  const std::weak_ptr<Shared> weak = shared_;
  const auto serve = [weak](const httplib::Request& request, httplib::Response& response) {
    if (const auto shared = weak.lock()) Serve(shared, request, response);
  };
  server.Get(".*", serve).Post(".*", serve).Put(".*", serve).Patch(".*", serve);
  server.Delete(".*", serve).Options(".*", serve);
  errno = 0;
  const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1")
                              : (server.bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) {
    const int error = errno;
    return "cannot listen on 127.0.0.1:" + std::to_string(port) +
           (error != 0 ? ": " + std::string(std::strerror(error)) : "");
  }
  shared_->port = static_cast<std::uint16_t>(bound);
  shared_->listening = std::thread([shared = shared_.get()] {
    shared->server.listen_after_bind();
    shared->finished = true;
  });
  // httplib's stop() does nothing before the loop runs, which would leave it running for ever.
  while (!server.is_running() && !shared_->finished) std::this_thread::yield();
  return "";
}

}  // namespace platform
