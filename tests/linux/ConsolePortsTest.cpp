// The console's Linux ports on real loopback sockets and the real event loop.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "contract/Harness.h"
#include "platform/Paths.h"
#include "platform/Random.h"
#include "platform/ThisComputer.h"
#include "platform/linux/HttplibHttpServer.h"
#include "platform/linux/QtDatagramPort.h"
#include "unit/ScratchDir.h"

namespace {

using platform::HttpRequest;
using platform::HttpResponder;
using platform::HttpResponse;

// Sends the raw request to 127.0.0.1:port and reads the whole answer, on a thread of its own, so
// that the test's thread runs the event loop meanwhile; the event loop is woken once it is read.
std::future<std::string> Ask(std::uint16_t port, std::string request) {
  std::promise<std::string> promise;
  std::future<std::string> answered = promise.get_future();
  std::thread([port, request, promise = std::move(promise)]() mutable {
    const int client = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    std::string answer;
    if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(client, request.data(), request.size(), 0) > 0) {
      char buffer[4096];
      for (ssize_t got; (got = recv(client, buffer, sizeof buffer, 0)) > 0;) {
        answer.append(buffer, got);
      }
    }
    close(client);
    promise.set_value(answer);
    QTimer::singleShot(0, QCoreApplication::instance(), [] {});
  }).detach();
  return answered;
}

std::string Get(const std::string& path) {
  return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

std::string AnswerOf(std::future<std::string>& answer) {
  EXPECT_TRUE(harness::PumpUntil(
      [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  return answer.valid() ? answer.get() : "";
}

// Whether the kernel's table of TCP sockets has one listening on 127.0.0.1 at the port and none
// on another address: no packet needs to leave loopback to find out.
std::string ListeningAddresses(std::uint16_t port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::string found;
  char hexPort[8];
  std::snprintf(hexPort, sizeof hexPort, ":%04X", port);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (state == "0A" && local.ends_with(hexPort)) found += local.substr(0, 8) + " ";
  }
  return found;
}

struct HttplibHttpServerTest : ::testing::Test {
  std::unique_ptr<platform::HttplibHttpServer> server =
      std::make_unique<platform::HttplibHttpServer>();
  std::vector<HttpRequest> requests;
  std::vector<std::shared_ptr<HttpResponder>> kept;
  std::vector<bool> onUiThread;
  std::function<void(const HttpRequest&, std::shared_ptr<HttpResponder>)> answer;

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
  const std::thread::id uiThread = std::this_thread::get_id();
};

TEST_F(HttplibHttpServerTest, HandsTheWholeRequestToTheUiThreadAndSendsTheLaterAnswer) {
  EXPECT_EQ(ListeningAddresses(server->port()), "0100007F ");
  answer = [this](const HttpRequest&, std::shared_ptr<HttpResponder> responder) {
    QTimer::singleShot(50, [responder] {
      responder->respond({201, {{"Content-Type", "text/plain"}, {"X-Mine", "yes"}}, "made"});
      responder->respond({500, {}, "ignored"});
    });
  };
  auto reply = Ask(server->port(),
                   "POST /api/room/pcs%2F?after=3&x=%20 HTTP/1.1\r\nHost: localhost:1\r\n"
                   "X-Two: a\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello");
  const std::string text = AnswerOf(reply);
  EXPECT_TRUE(text.starts_with("HTTP/1.1 201 ")) << text;
  EXPECT_NE(text.find("X-Mine: yes\r\n"), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("\r\n\r\nmade")) << text;
  ASSERT_EQ(requests.size(), 1u);
  const HttpRequest& request = requests[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.path, "/api/room/pcs%2F");
  EXPECT_EQ(request.query, "after=3&x=%20");
  EXPECT_EQ(request.header("host"), "localhost:1");
  EXPECT_EQ(request.header("x-two"), "a");
  EXPECT_EQ(request.body, "hello");
  EXPECT_EQ(onUiThread, std::vector<bool>{true});
}

// Neither a forgotten request nor one pending at the end keeps its browser waiting.
TEST_F(HttplibHttpServerTest, AnswersUnavailableForADroppedResponderAndAtTheEnd) {
  answer = [this](const HttpRequest& request, std::shared_ptr<HttpResponder> responder) {
    if (request.path == "/keep") kept.push_back(std::move(responder));
  };
  auto dropped = Ask(server->port(), Get("/drop"));
  EXPECT_TRUE(AnswerOf(dropped).starts_with("HTTP/1.1 503 "));
  auto pending = Ask(server->port(), Get("/keep"));
  ASSERT_TRUE(harness::PumpUntil([&] { return kept.size() == 1; }));
  server.reset();
  EXPECT_TRUE(AnswerOf(pending).starts_with("HTTP/1.1 503 "));
  kept[0]->respond({200, {}, "too late"});
}

TEST(HttplibHttpServer, SaysWhyItCannotListenOnATakenPort) {
  platform::HttplibHttpServer first;
  platform::HttplibHttpServer second;
  ASSERT_EQ(first.listen(0, nullptr), "");
  EXPECT_EQ(
      second.listen(first.port(), nullptr),
      "cannot listen on 127.0.0.1:" + std::to_string(first.port()) + ": Address already in use");
}

// Listening again moves to the new port only once it is had; the old one is then let go.
TEST(QtDatagramPort, ReceivesOnTheUiThreadAndMovesOnlyToAPortItCanHave) {
  platform::QtDatagramPort receiver;
  platform::QtDatagramPort holder;
  std::vector<platform::ReceivedDatagram> heard;
  const auto listenOnAFreePort = [&heard](platform::QtDatagramPort& on, std::uint16_t above) {
    for (auto port = static_cast<std::uint16_t>(above + 1); port < above + 100; ++port) {
      if (on.listen(port, [&](const platform::ReceivedDatagram& d) { heard.push_back(d); }) == "")
        return port;
    }
    return std::uint16_t{0};
  };
  const std::uint16_t first = listenOnAFreePort(receiver, 47000);
  const std::uint16_t taken = listenOnAFreePort(holder, first);
  ASSERT_NE(taken, 0);
  EXPECT_EQ(receiver.listen(taken, nullptr), "Address already in use");
  EXPECT_EQ(platform::SendDatagram("127.0.0.1", first, "07Call"), "");
  EXPECT_EQ(platform::SendDatagram("127.0.0.1", first, std::string(60000, 'x')), "");
  ASSERT_TRUE(harness::PumpUntil([&] { return heard.size() == 2; }));
  EXPECT_EQ(heard[0].bytes, "07Call");
  EXPECT_EQ(heard[0].address, 0x7F000001u);
  EXPECT_EQ(heard[1].bytes.size(), 60000u);
  const std::uint16_t moved = listenOnAFreePort(receiver, taken);
  EXPECT_EQ(platform::SendDatagram("127.0.0.1", moved, "08Call"), "");
  ASSERT_TRUE(harness::PumpUntil([&] { return heard.size() == 3; }));
  EXPECT_EQ(heard[2].bytes, "08Call");
  EXPECT_EQ(platform::QtDatagramPort().listen(first, nullptr), "");
}

// As the kernel names this computer and `ip` lists its addresses, in the same order, each once,
// loopback's left out.
TEST(ThisComputer, IsNamedAndAddressedAsTheSystemSays) {
  const platform::ThisComputer self = platform::DescribeThisComputer();
  std::string described = self.name + "\n";
  for (const std::uint32_t address : self.addresses) {
    described += inet_ntoa(in_addr{htonl(address)}) + std::string("\n");
  }
  std::string listed;
  FILE* const system = popen(
      "cat /proc/sys/kernel/hostname; ip -4 -o addr show up | awk "
      "'{sub(\"/.*\", \"\", $4)} $4 !~ /^127\\./ && !seen[$4]++ {print $4}'",
      "r");
  for (int c; (c = std::fgetc(system)) != EOF;) listed += static_cast<char>(c);
  pclose(system);
  EXPECT_EQ(described, listed);
}

// XDG's rule, and a folder for the user alone; two secrets never alike.
TEST(ConsoleFolderAndSecret, FollowXdgAndTheRandomSource) {
  const ScratchDir home;
  const std::string savedHome = std::getenv("HOME");
  setenv("HOME", home.path().c_str(), 1);
  const struct {
    std::string config;
    std::string folder;
  } cases[] = {{home.path() / "conf", home.path() / "conf/velostrander"},
               {"relative", home.path() / ".config/velostrander"},
               {"", home.path() / ".config/velostrander"}};
  std::filesystem::create_directories(home.path() / "conf/velostrander");
  std::filesystem::permissions(home.path() / "conf/velostrander", std::filesystem::perms(0755));
  for (const auto& [config, folder] : cases) {
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    EXPECT_EQ(platform::UserSettingsFolder(), folder) << config;
    struct stat status {};
    EXPECT_EQ(stat(folder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u) << folder;
  }
  setenv("HOME", savedHome.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(platform::RandomBytes(32).size(), 32u);
  EXPECT_NE(platform::RandomBytes(32), platform::RandomBytes(32));
}

}  // namespace
