// What the console relies on of either backend's web server, on real loopback sockets and the
// backend's real event loop.
#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#define closesocket close
#endif

#include <future>
#include <thread>

#include "contract/Harness.h"

namespace {

using platform::HttpRequest;
using platform::HttpResponder;

// The answer is whole once its body is as long as its Content-Length says: Wine's http.sys keeps
// the connection open though the request asks it to close.
bool Whole(const std::string& answer) {
  const std::size_t end = answer.find("\r\n\r\n");
  const std::size_t length = answer.find("Content-Length: ");
  return end != std::string::npos && length < end &&
         answer.size() - end - 4 >= std::stoul(answer.substr(length + 16));
}

// Sends the raw request to 127.0.0.1:port and reads the whole answer, on a thread of its own, so
// that the test's thread runs the event loop meanwhile.
std::future<std::string> Ask(std::uint16_t port, std::string request) {
  std::promise<std::string> promise;
  std::future<std::string> answered = promise.get_future();
  std::thread([port, request, promise = std::move(promise)]() mutable {
    const auto client = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    std::string answer;
    if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(client, request.data(), static_cast<int>(request.size()), 0) > 0) {
      char buffer[4096];
      for (int got; !Whole(answer) &&
                    (got = static_cast<int>(recv(client, buffer, sizeof buffer, 0))) > 0;) {
        answer.append(buffer, static_cast<std::size_t>(got));
      }
    }
    closesocket(client);
    promise.set_value(answer);
    harness::Wake();
  }).detach();
  return answered;
}

std::string AnswerOf(std::future<std::string>& answer) {
  EXPECT_TRUE(harness::PumpUntil(
      [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready ? answer.get() : "";
}

struct HttpServerContract : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(server->listen(
                  0,
                  [this](const HttpRequest& request, std::shared_ptr<HttpResponder> responder) {
                    requests.push_back(request);
                    onUiThread.push_back(std::this_thread::get_id() == uiThread);
                    answer(request, std::move(responder));
                  }),
              "");
  }
  // A request as a browser sends it to the console, which needs its Host (http.sys routes by it).
  std::string Request(const std::string& head, const std::string& body = "") const {
    return head + "\r\nHost: 127.0.0.1:" + std::to_string(server->port()) +
           "\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body;
  }

  std::unique_ptr<platform::HttpServer> server = harness::NewHttpServer();
  std::vector<HttpRequest> requests;
  std::vector<std::shared_ptr<HttpResponder>> kept;
  std::vector<bool> onUiThread;
  std::function<void(const HttpRequest&, std::shared_ptr<HttpResponder>)> answer;
  const std::thread::id uiThread = std::this_thread::get_id();
};

TEST_F(HttpServerContract, HandsTheWholeRequestToTheUiThreadAndSendsTheLaterAnswer) {
  answer = [](const HttpRequest&, std::shared_ptr<HttpResponder> responder) {
    harness::RunLater(std::chrono::milliseconds(50), [responder] {
      responder->respond({201, {{"Content-Type", "text/plain"}, {"X-Mine", "yes"}}, "made"});
      responder->respond({500, {}, "ignored"});
    });
  };
  const std::string body(20000, 'b');  // more than the first read of a request
  auto reply = Ask(server->port(),
                   Request("POST /api/room/pcs%2F?after=3&x=%20 HTTP/1.1\r\nX-Two: a", body));
  const std::string text = AnswerOf(reply);
  EXPECT_TRUE(text.starts_with("HTTP/1.1 201 ")) << text;
  EXPECT_NE(text.find("X-Mine: yes\r\n"), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("\r\n\r\nmade")) << text;
  ASSERT_EQ(requests.size(), 1u);
  const HttpRequest& request = requests[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.path, "/api/room/pcs%2F");
  EXPECT_EQ(request.query, "after=3&x=%20");
  EXPECT_EQ(request.header("host"), "127.0.0.1:" + std::to_string(server->port()));
  EXPECT_EQ(request.header("x-two"), "a");
  EXPECT_EQ(request.body, body);
  EXPECT_EQ(onUiThread, std::vector<bool>{true});
}

// Neither a forgotten request nor one pending at the end keeps its browser waiting.
TEST_F(HttpServerContract, AnswersUnavailableForADroppedResponderAndAtTheEnd) {
  answer = [this](const HttpRequest& request, std::shared_ptr<HttpResponder> responder) {
    if (request.path == "/keep") kept.push_back(std::move(responder));
  };
  auto dropped = Ask(server->port(), Request("GET /drop HTTP/1.1"));
  EXPECT_TRUE(AnswerOf(dropped).starts_with("HTTP/1.1 503 "));
  auto pending = Ask(server->port(), Request("GET /keep HTTP/1.1"));
  ASSERT_TRUE(harness::PumpUntil([&] { return kept.size() == 1; }));
  server.reset();
  EXPECT_TRUE(AnswerOf(pending).starts_with("HTTP/1.1 503 "));
  kept[0]->respond({200, {}, "too late"});
}

// What the backend cannot read is refused by the backend, and the handler never sees it.
TEST_F(HttpServerContract, RefusesWhatItCannotReadWithoutTheHandler) {
  answer = [](const HttpRequest&, std::shared_ptr<HttpResponder> responder) {
    responder->respond({200, {}, ""});
  };
  const std::string cases[] = {Request("POST /big HTTP/1.1", std::string(70000, 'x')),
                               "NONSENSE\r\n\r\n"};
  for (const std::string& request : cases) {
    auto reply = Ask(server->port(), request);
    EXPECT_TRUE(AnswerOf(reply).starts_with("HTTP/1.1 4")) << request.substr(0, 20);
  }
  EXPECT_TRUE(requests.empty());
}

TEST(HttpServerContractOfTwo, SaysWhyItCannotListenOnATakenPort) {
  const auto first = harness::NewHttpServer();
  const auto second = harness::NewHttpServer();
  ASSERT_EQ(first->listen(0, nullptr), "");
  EXPECT_EQ(second->listen(first->port(), nullptr),
            "cannot listen on 127.0.0.1:" + std::to_string(first->port()) + ": " +
                harness::RefusalOfATakenPort());
}

}  // namespace
