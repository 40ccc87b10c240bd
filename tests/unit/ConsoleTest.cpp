// The teacher's console behind its gate, against fake datagrams, the fake platform's files and
// timers, and responders that record the answer.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "console/Console.h"
#include "console/Gate.h"
#include "console/Options.h"
#include "fake/FakePlatform.h"
#include "unit/ScratchDir.h"

namespace {

using nlohmann::json;
using platform::HttpRequest;
using platform::HttpResponse;

struct Recorder : platform::HttpResponder {
  std::optional<HttpResponse> answer;
  void respond(HttpResponse response) override {
    if (!answer) answer = std::move(response);
  }
  std::string header(std::string_view name) const {
    for (const auto& [key, value] : answer->headers) {
      if (key == name) return value;
    }
    return "";
  }
};

// What went through the gate, as one line: "pass", or the status with the gate's own headers.
std::string Outcome(const console::Gate& gate, const HttpRequest& request) {
  auto recorder = std::make_shared<Recorder>();
  auto shared = std::make_shared<const console::Gate>(gate);
  console::Guarded(shared, [](const HttpRequest&, std::shared_ptr<platform::HttpResponder> r) {
    r->respond({200, {}, "pass"});
  })(request, recorder);
  EXPECT_EQ(recorder->header("Referrer-Policy"), "no-referrer");
  EXPECT_TRUE(recorder->header("Content-Security-Policy").starts_with("default-src 'none'; "));
  if (recorder->answer->body == "pass") return "pass";
  std::string outcome = std::to_string(recorder->answer->status);
  for (const char* name : {"Set-Cookie", "Refresh"}) {
    if (!recorder->header(name).empty()) outcome += " " + recorder->header(name);
  }
  return outcome;
}

TEST(GateTest, EachRequestIsLetThroughTradedOrRefused) {
  const console::Gate gate("s3cret", "cookie1", 8080);
  EXPECT_EQ(gate.entry(), "/?key=s3cret");
  const std::string ours = "127.0.0.1:8080";
  const std::string cookie = "velo_console=cookie1";
  const std::string traded = "200 velo_console=cookie1; HttpOnly; SameSite=Strict; Path=/ 0; url=/";
  const struct {
    std::string method, path, query, host, origin, cookies, outcome;
  } cases[] = {
      {"GET", "/", "key=s3cret", ours, "", "", traded},
      {"GET", "/", "key=s3cret", "LocalHost:8080", "", "", traded},
      {"GET", "/", "key=s3cre", ours, "", "", "403"},
      {"GET", "/", "key=s3cretx", ours, "", "", "403"},
      {"GET", "/", "key=", ours, "", "", "403"},
      {"POST", "/", "key=s3cret", ours, "http://" + ours, "", "403"},
      // DNS rebinding: a foreign name pointed at 127.0.0.1 arrives with its name.
      {"GET", "/", "key=s3cret", "evil.example:8080", "", cookie, "403"},
      {"GET", "/api/room", "", "127.0.0.1:8081", "", cookie, "403"},
      {"GET", "/api/room", "", "127.0.0.1", "", cookie, "403"},
      {"GET", "/api/room", "", "", "", cookie, "403"},
      {"GET", "/api/room", "", ours, "", cookie, "pass"},
      {"GET", "/api/room", "", "localhost:8080", "http://evil.example", "a=b; " + cookie, "pass"},
      {"GET", "/api/room", "", ours, "", "", "403"},
      {"GET", "/api/room", "", ours, "", "velo_console=cookie12", "403"},
      {"GET", "/api/room", "", ours, "", "velo_console=", "403"},
      {"GET", "/api/room", "", ours, "", "xvelo_console=cookie1", "403"},
      {"GET", "/", "", ours, "", "velo_console=s3cret", "403"},
      {"POST", "/api/send", "", ours, "http://" + ours, cookie, "pass"},
      {"DELETE", "/api/room/pcs/07", "", ours, "http://localhost:8080", cookie, "pass"},
      {"POST", "/api/send", "", ours, "", cookie, "403"},
      {"POST", "/api/send", "", ours, "null", cookie, "403"},
      {"POST", "/api/send", "", ours, "http://evil.example", cookie, "403"},
      {"POST", "/api/send", "", ours, "https://" + ours, cookie, "403"},
      {"PUT", "/api/send", "", ours, "http://127.0.0.1:80", cookie, "403"},
  };
  for (const auto& c : cases) {
    HttpRequest request{c.method, c.path, c.query, {{"host", c.host}}, ""};
    if (!c.origin.empty()) request.headers.emplace_back("origin", c.origin);
    if (!c.cookies.empty()) request.headers.emplace_back("cookie", c.cookies);
    EXPECT_EQ(Outcome(gate, request), c.outcome)
        << c.method << " " << c.path << "?" << c.query << " " << c.host << " " << c.origin << " "
        << c.cookies;
  }
  EXPECT_EQ(console::Hex(std::string("\x00\x7f\xff\x10", 4)), "007fff10");
}

TEST(ConsoleOptionsTest, EachCommandLineHasItsPortsOrItsError) {
  const struct {
    std::vector<std::string> arguments;
    std::string outcome;
  } cases[] = {
      {{}, "0 5000"},
      {{"--port", "8080", "--call-port", "5001"}, "8080 5001"},
      {{"--call-port", "5001", "--port", "0"}, "0 5001"},
      {{"--call-port", "0"}, "--call-port expects a port 1-65535"},
      {{"--port", "65536"}, "--port expects a port 1-65535 or 0"},
      {{"--port"}, "--port expects a port 1-65535 or 0"},
      {{"-p", "1"}, "unknown argument \"-p\""},
  };
  for (const auto& [arguments, outcome] : cases) {
    const auto [options, error] = console::ParseOptions(arguments);
    EXPECT_EQ(error.empty() ? std::to_string(options.port) + " " + std::to_string(options.callPort)
                            : error,
              outcome);
  }
}

struct FakeDatagrams : platform::DatagramPort {
  std::vector<std::string> sent;                // "host:port text"
  std::map<std::string, std::string> refusing;  // host → reason
  std::map<std::string, std::vector<std::uint32_t>> hosts{{"pc01", {0x0A000001}},
                                                          {"pc02", {0x0A000002}}};
  std::function<void(const platform::ReceivedDatagram&)> heard;
  std::string listenProblem;
  int lookups = 0;

  std::string send(const std::string& host, std::uint16_t port, std::string_view bytes) override {
    if (refusing.contains(host)) return refusing[host];
    sent.push_back(host + ":" + std::to_string(port) + " " + std::string(bytes));
    return "";
  }
  std::string listen(std::uint16_t,
                     std::function<void(const platform::ReceivedDatagram&)> on) override {
    heard = std::move(on);
    return listenProblem;
  }
  std::vector<std::uint32_t> addresses(const std::string& host) override {
    ++lookups;
    return hosts[host];
  }
};

struct ConsoleTest : ::testing::Test {
  ScratchDir dir;
  fake::FakePlatform fake;
  FakeDatagrams datagrams;
  std::string roomFile = (dir.path() / "room.txt").string();
  std::unique_ptr<console::Console> console;

  void Start(const std::string& room) {
    dir.Write("room.txt", room);
    console = std::make_unique<console::Console>(
        console::Ports{fake.files(), datagrams, fake.scheduler(), fake.codePage(),
                       [] { return std::int64_t{1700000000}; }},
        roomFile, 5000);
    console->start();
  }
  std::shared_ptr<Recorder> Ask(const std::string& method, const std::string& target,
                                const std::string& body = "") {
    const std::size_t mark = std::min(target.find('?'), target.size());
    auto recorder = std::make_shared<Recorder>();
    const std::string query = mark < target.size() ? target.substr(mark + 1) : "";
    console->handle({method, target.substr(0, mark), query, {}, body}, recorder);
    return recorder;
  }
  // "STATUS BODY" of an answer given at once.
  std::string Call(const std::string& method, const std::string& target,
                   const std::string& body = "") {
    const auto recorder = Ask(method, target, body);
    if (!recorder->answer) return "no answer yet";
    EXPECT_EQ(recorder->header("Content-Type"), "application/json; charset=utf-8");
    return std::to_string(recorder->answer->status) + " " + recorder->answer->body;
  }
  std::string Room() {
    std::ifstream file(roomFile, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }
};

constexpr std::string_view kRoom = "# room 1\n01 pc01 5001 @1,1\n02 pc02 5002\n";

TEST_F(ConsoleTest, EachChangeOfTheRoomIsCheckedAndSavedAtOnce) {
  Start(std::string(kRoom));
  EXPECT_EQ(json::parse(Call("GET", "/api/room").substr(4)),
            json::parse(R"({"pcs":[{"number":"01","host":"pc01","port":5001,"name":"",
              "desk":{"column":1,"row":1}},{"number":"02","host":"pc02","port":5002,"name":"",
              "desk":null}],"roomFile":")" +
                        roomFile + R"(","roomProblem":"","callPort":5000,
              "callPortProblem":""})"));
  const std::string pc03 = R"({"number":"03","host":"pc03","port":5003,"name":"窓側",)"
                           R"("desk":{"column":1,"row":2}})";
  const struct {
    std::string method, path, body;
    int status;
  } steps[] = {
      {"POST", "/api/room/pcs", pc03, 201},
      {"POST", "/api/room/pcs", pc03, 409},
      {"POST", "/api/room/pcs",
       R"({"number":"04","host":"pc04","port":1,"desk":{"column":1,"row":2}})", 409},
      {"POST", "/api/room/pcs", R"({"number":"31","host":"pc31","port":1})", 400},
      {"POST", "/api/room/pcs", R"({"number":"04","port":1})", 400},
      {"POST", "/api/room/pcs", R"({"number":"04","host":"10.1","port":1})", 400},
      {"POST", "/api/room/pcs", R"({"number":"04","host":"pc04","port":0})", 400},
      {"POST", "/api/room/pcs", R"({"number":"04","host":"pc04","port":1.5})", 400},
      {"POST", "/api/room/pcs", R"({"number":"04","host":"pc04","port":1,"name":"#4"})", 400},
      {"POST", "/api/room/pcs",
       R"({"number":"04","host":"pc04","port":1,"desk":{"column":0,"row":1}})", 400},
      {"POST", "/api/room/pcs", R"({"number":"04","host":"pc04","port":1,"colour":"red"})", 400},
      {"POST", "/api/room/pcs/01", R"({"desk":{"column":4294967297,"row":1}})", 400},
      {"POST", "/api/room/pcs/01", R"({"desk":{"column":1}})", 400},
      {"POST", "/api/room/pcs", "[1]", 400},
      {"POST", "/api/room/pcs", "{", 400},
      {"POST", "/api/room/pcs/01", R"({"name":"先生の前","desk":{"column":2,"row":1}})", 200},
      {"POST", "/api/room/pcs/01", R"({"number":"05"})", 400},
      {"POST", "/api/room/pcs/01", R"({"desk":{"column":1,"row":2}})", 409},
      {"POST", "/api/room/pcs/09", R"({"name":"x"})", 404},
      {"DELETE", "/api/room/pcs/02", "", 200},
      {"DELETE", "/api/room/pcs/02", "", 404},
      {"POST", "/api/room/pcs/03", R"({"desk":null,"host":"192.168.0.3","port":6003})", 200},
      {"GET", "/api/room/pcs/03", "", 404},
      {"DELETE", "/api/room/pcsX03", "", 404},
      {"PUT", "/api/room", "{}", 404},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(Call(step.method, step.path, step.body).substr(0, 3), std::to_string(step.status))
        << step.method << " " << step.path << " " << step.body;
  }
  EXPECT_EQ(
      Room(),
      ctl::FormatRoster(
          ctl::ReadRoster("01 pc01 5001 @2,1 先生の前\n03 192.168.0.3 6003 窓側\n", "").agents));
  // A save that fails changes nothing, in the file or in the console.
  fake.fileWriteFailure =
      platform::FileWriteFailure{platform::FileWriteFailure::Step::Write, "full"};
  EXPECT_EQ(json::parse(Call("DELETE", "/api/room/pcs/01").substr(4))["problem"],
            "部屋のファイルを保存できませんでした: full");
  EXPECT_EQ(json::parse(Call("GET", "/api/room").substr(4))["pcs"].size(), 2u);
}

// The teacher's own file, with a line the console cannot read, is never overwritten.
TEST_F(ConsoleTest, ARoomFileThatCannotBeReadIsShownAndKept) {
  datagrams.listenProblem = "Address already in use";
  Start("01 pc01 5001\n01 pc02 5002\n");
  const json room = json::parse(Call("GET", "/api/room").substr(4));
  EXPECT_EQ(room["roomProblem"], "部屋のファイルに読めない行があります: " + roomFile +
                                     ":2: computer number 01 is already on line 1");
  EXPECT_EQ(room["callPortProblem"], "Address already in use");
  EXPECT_EQ(Call("DELETE", "/api/room/pcs/01").substr(0, 3), "409");
  EXPECT_EQ(Room(), "01 pc01 5001\n01 pc02 5002\n");
}

TEST_F(ConsoleTest, SendsAPageOrACommandToThePickedPcsOnlyWhenTheAgentWouldTakeIt) {
  Start(std::string(kRoom));
  datagrams.refusing["pc02"] = "unknown host";
  const struct {
    std::string body;
    std::string answer;  // the status, or the datagrams sent
  } cases[] = {
      {R"({"to":["01"],"page":"http://teacher/今日.html"})", "pc01:5001 http://teacher/今日.html"},
      {R"({"to":["01"],"page":"about:blank"})", "pc01:5001 about:blank"},
      {R"({"to":["01"],"page":"pc07:8080/a b"})", "pc01:5001 pc07:8080/a b"},
      {R"({"to":["01"],"command":"FullScreen"})", "pc01:5001 Command:FullScreen"},
      {R"({"to":["01"],"command":"PartScreen"})", "pc01:5001 Command:PartScreen"},
      {R"({"to":["01"],"command":"VisibleTrue"})", "pc01:5001 Command:VisibleTrue"},
      {R"({"to":["01"],"command":"VisibleFalse"})", "pc01:5001 Command:VisibleFalse"},
      {R"({"to":["01"],"command":"Reboot"})", "400"},
      {R"({"to":["01"],"page":" JavaScript:void 0"})", "400"},
      {R"({"to":["01"],"page":"chrome://kill"})", "400"},
      {R"({"to":["01"],"page":"Command:FullScreen"})", "400"},
      {R"({"to":["01"],"page":""})", "400"},
      {R"({"to":["01"],"page":7})", "400"},
      {R"({"to":[],"page":"http://a/"})", "400"},
      {R"({"to":["01","09"],"page":"http://a/"})", "400"},
      {R"({"to":"01","page":"http://a/"})", "400"},
      {R"({"page":"http://a/"})", "400"},
  };
  for (const auto& [body, answer] : cases) {
    datagrams.sent.clear();
    const std::string status = Call("POST", "/api/send", body).substr(0, 3);
    EXPECT_EQ(status == "200" ? datagrams.sent.at(0) : status, answer) << body;
  }
  const json failed = json::parse(R"([{"number":"02","reason":"unknown host"}])");
  EXPECT_EQ(
      json::parse(
          Call("POST", "/api/send", R"({"to":["02","01"],"command":"FullScreen"})").substr(4)),
      json({{"sent", {"01"}}, {"failed", failed}}));
  const json events = json::parse(Ask("GET", "/api/events?after=0")->answer->body);
  EXPECT_EQ(events["next"], 8);
  EXPECT_EQ(events["events"][7], json({{"kind", "sent"},
                                       {"text", "Command:FullScreen"},
                                       {"sent", {"01"}},
                                       {"failed", failed},
                                       {"seq", 8},
                                       {"time", 1700000000}}));
}

// A call is genuine only from an address the roster gives its PC; the page waits for news.
TEST_F(ConsoleTest, CallsReachTheWaitingPageMarkedGenuineOrByWhoSentThem) {
  Start(std::string(kRoom));
  const auto waiting = Ask("GET", "/api/events?after=0");
  const auto idle = Ask("GET", "/api/events?after=x");
  EXPECT_FALSE(waiting->answer);
  const struct {
    std::string bytes;
    std::uint32_t from;
    std::string event;  // "" for none
  } datagrams_[] = {
      {"01Call", 0x0A000001,
       R"("number":"01","from":"10.0.0.1:40000","genuine":true,"sentBy":null)"},
      {"01Call", 0x0A000002,
       R"("number":"01","from":"10.0.0.2:40000","genuine":false,"sentBy":"02")"},
      {"01Call", 0x0A000009,
       R"("number":"01","from":"10.0.0.9:40000","genuine":false,"sentBy":null)"},
      {"05Call", 0x0A000001,
       R"("number":"05","from":"10.0.0.1:40000","genuine":false,"sentBy":"01")"},
      {"01Call\n", 0x0A000001, ""},
      {"hello", 0x0A000001, ""},
  };
  std::int64_t seq = 0;
  for (const auto& [bytes, from, event] : datagrams_) {
    const auto poll = Ask("GET", "/api/events?after=" + std::to_string(seq));
    datagrams.heard({bytes, from, 40000});
    EXPECT_EQ(!!poll->answer, !event.empty()) << bytes;
    if (!poll->answer) continue;
    const json news = json::parse(poll->answer->body);
    EXPECT_EQ(news["events"].size(), 1u);
    EXPECT_EQ(news["events"][0], json::parse(R"({"kind":"call",)" + event + R"(,"seq":)" +
                                             std::to_string(++seq) + R"(,"time":1700000000})"));
    EXPECT_EQ(news["next"], seq);
  }
  EXPECT_EQ(datagrams.lookups, 2);  // each host once, until the room changes
  EXPECT_EQ(json::parse(waiting->answer->body)["events"].size(), 1u);
  EXPECT_EQ(json::parse(idle->answer->body)["events"].size(), 1u);
  // Nothing new: answered empty after the long poll's time, and not before.
  const auto quiet = Ask("GET", "/api/events?after=4");
  fake.advance(console::kLongPoll - std::chrono::milliseconds(1));
  EXPECT_FALSE(quiet->answer);
  fake.advance(std::chrono::milliseconds(1));
  EXPECT_EQ(json::parse(quiet->answer->body), json::parse(R"({"next":4,"events":[]})"));
  EXPECT_EQ(Call("POST", "/api/calls/01/done", "{}"), "200 {}");
  // A page from before a restart gets everything there is.
  EXPECT_EQ(json::parse(Ask("GET", "/api/events?after=99")->answer->body)["events"].size(), 5u);
}

}  // namespace
