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
      {{}, "0 saved browser"},
      {{"--port", "8080", "--call-port", "5001"}, "8080 5001 browser"},
      {{"--call-port", "5001", "--no-browser", "--port", "0"}, "0 5001 none"},
      {{"--call-port", "0"}, "--call-port expects a port 1-65535"},
      {{"--port", "65536"}, "--port expects a port 1-65535 or 0"},
      {{"--port"}, "--port expects a port 1-65535 or 0"},
      {{"-p", "1"}, "unknown argument \"-p\""},
  };
  for (const auto& [arguments, outcome] : cases) {
    const auto [options, error] = console::ParseOptions(arguments);
    const std::string callPort = options.callPort ? std::to_string(*options.callPort) : "saved";
    EXPECT_EQ(error.empty() ? std::to_string(options.port) + " " + callPort +
                                  (options.openBrowser ? " browser" : " none")
                            : error,
              outcome);
  }
}

struct FakeDatagrams : platform::DatagramPort {
  std::vector<std::string> sent;                // "host:port text"
  std::map<std::string, std::string> refusing;  // host → reason
  std::function<void(const platform::ReceivedDatagram&)> heard;
  std::vector<std::uint16_t> listened;
  std::string listenProblem;

  std::string send(const std::string& host, std::uint16_t port, std::string_view bytes) override {
    if (refusing.contains(host)) return refusing[host];
    sent.push_back(host + ":" + std::to_string(port) + " " + std::string(bytes));
    return "";
  }
  std::string listen(std::uint16_t port,
                     std::function<void(const platform::ReceivedDatagram&)> on) override {
    listened.push_back(port);
    heard = std::move(on);
    return listenProblem;
  }
};

// A name server that answers only when the test says so.
struct FakeResolver : platform::Resolver {
  std::map<std::string, std::vector<std::uint32_t>> hosts{{"pc01", {0x0A000001}},
                                                          {"pc02", {0x0A000002}}};
  std::vector<std::string> asked;
  std::vector<std::pair<std::string, Done>> waiting;

  void lookUp(std::string_view host, Done done) override {
    asked.emplace_back(host);
    waiting.emplace_back(host, std::move(done));
  }
  void answer() {
    for (auto& [host, done] : std::exchange(waiting, {})) done(hosts[host]);
  }
};

struct ConsoleTest : ::testing::Test {
  ScratchDir dir;
  fake::FakePlatform fake;
  FakeDatagrams datagrams;
  FakeResolver resolver;
  std::int64_t now = 1700000000;
  std::string roomFile = (dir.path() / "room.txt").string();
  std::unique_ptr<console::Console> console;

  void Start(const std::string& room, std::optional<std::uint16_t> callPort = std::nullopt) {
    dir.Write("room.txt", room);
    console = std::make_unique<console::Console>(
        console::Ports{fake.files(), datagrams, resolver, fake.scheduler(), fake.codePage(),
                       [this] { return now; },
                       [] {
                         return platform::ThisComputer{"先生のPC", {0xC0000205, 0x0A000064}};
                       }},
        dir.path().string(), callPort);
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
  // The body of an answer given at once, read.
  json Answer(const std::string& method, const std::string& target, const std::string& body = "") {
    return json::parse(Call(method, target, body).substr(4));
  }
};

constexpr std::string_view kRoom = "# room 1\n01 pc01 5001 @1,1\n02 pc02 5002\n";

TEST_F(ConsoleTest, EachChangeOfTheRoomIsCheckedAndSavedAtOnce) {
  Start(std::string(kRoom));
  EXPECT_EQ(Answer("GET", "/api/room"),
            json::parse(R"({"pcs":[{"number":"01","host":"pc01","port":5001,"name":"",
              "desk":{"column":1,"row":1}},{"number":"02","host":"pc02","port":5002,"name":"",
              "desk":null}],"roomFile":")" +
                        roomFile + R"(","roomProblem":"","callPort":5000,
              "callPortProblem":"","thisPc":{"name":"先生のPC",
              "addresses":["192.0.2.5","10.0.0.100"]}})"));
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
      dir.Read("room.txt"),
      ctl::FormatRoster(
          ctl::ReadRoster("01 pc01 5001 @2,1 先生の前\n03 192.168.0.3 6003 窓側\n", "").agents));
  // A save that fails changes nothing, in the file or in the console.
  fake.fileWriteFailure =
      platform::FileWriteFailure{platform::FileWriteFailure::Step::Write, "full"};
  EXPECT_EQ(Answer("DELETE", "/api/room/pcs/01")["problem"],
            "部屋のファイルを保存できませんでした: full");
  EXPECT_EQ(Answer("GET", "/api/room")["pcs"].size(), 2u);
}

// The teacher's own file, with a line the console cannot read, is never overwritten.
TEST_F(ConsoleTest, ARoomFileThatCannotBeReadIsShownAndKept) {
  datagrams.listenProblem = "Address already in use";
  Start("01 pc01 5001\n01 pc02 5002\n");
  const json room = Answer("GET", "/api/room");
  EXPECT_EQ(room["roomProblem"], "部屋のファイルに読めない行があります: " + roomFile +
                                     ":2: computer number 01 is already on line 1");
  EXPECT_EQ(room["callPortProblem"], "Address already in use");
  EXPECT_EQ(Call("DELETE", "/api/room/pcs/01").substr(0, 3), "409");
  EXPECT_EQ(dir.Read("room.txt"), "01 pc01 5001\n01 pc02 5002\n");
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
  EXPECT_EQ(Answer("POST", "/api/send", R"({"to":["02","01"],"command":"FullScreen"})"),
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

// A call is genuine only from an address the roster gives its PC; the page waits for news, and
// a call waits for the lookups that decide it.
TEST_F(ConsoleTest, CallsReachTheWaitingPageMarkedGenuineOrByWhoSentThem) {
  Start(std::string(kRoom));
  const auto waiting = Ask("GET", "/api/events?after=0");
  const auto idle = Ask("GET", "/api/events?after=x");
  EXPECT_FALSE(waiting->answer);
  resolver.answer();
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
  EXPECT_EQ(resolver.asked, (std::vector<std::string>{"pc01", "pc02"}));
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

  // A changed room is looked up afresh; meanwhile the known hosts stand, and a call that needs
  // the new one holds back those after it.
  resolver.hosts["pc03"] = {0x0A000003};
  EXPECT_EQ(Call("POST", "/api/room/pcs", R"({"number":"03","host":"pc03","port":1})").substr(0, 3),
            "201");
  // Every open page hears that the room changed, to load it again.
  EXPECT_EQ(json::parse(Ask("GET", "/api/events?after=5")->answer->body)["events"][0]["kind"],
            "room");
  const auto known = Ask("GET", "/api/events?after=6");
  datagrams.heard({"01Call", 0x0A000001, 40000});
  EXPECT_TRUE(known->answer);
  datagrams.heard({"01Call", 0x0A000003, 40000});
  datagrams.heard({"02Call", 0x0A000002, 40000});
  EXPECT_FALSE(Ask("GET", "/api/events?after=7")->answer);
  now += 5;
  resolver.answer();
  const json news = json::parse(Ask("GET", "/api/events?after=7")->answer->body)["events"];
  ASSERT_EQ(news.size(), 2u);
  EXPECT_EQ(news[0]["sentBy"], "03");
  EXPECT_EQ(news[0]["time"], 1700000000);
  EXPECT_EQ(news[1]["genuine"], true);
  EXPECT_EQ(resolver.asked.size(), 5u);
}

// The saved port is listened on unless the command line names one; the page's choice is saved
// and moves the listening, and a port that could not be had is tried again.
TEST_F(ConsoleTest, TheCallPortIsSavedAndListenedOn) {
  const struct {
    std::string saved;
    std::optional<std::uint16_t> given;
    std::uint16_t listened;
  } starts[] = {
      {"# 教室\r\nCallPort=5100\r\n", std::nullopt, 5100},
      {"CallPort=70000\n", std::nullopt, 5000},
      {"CallPort=5100\n", 6000, 6000},
  };
  for (const auto& [saved, given, listened] : starts) {
    dir.Write("console.ini", saved);
    datagrams.listened.clear();
    Start("", given);
    EXPECT_EQ(datagrams.listened, std::vector<std::uint16_t>{listened}) << saved;
  }
  const struct {
    std::string body;
    std::string listenProblem;
    std::string answer;
    std::vector<std::uint16_t> listened;
  } steps[] = {
      {R"({"callPort":0})", "", R"(400 {"problem":"ポート番号は 1 から 65535 です。"})", {}},
      {R"({"callPort":"5200"})", "", "400", {}},
      {R"({"callPort":6000})", "", R"(200 {"callPort":6000,"callPortProblem":""})", {}},
      {R"({"callPort":5200})",
       "taken",
       R"(200 {"callPort":5200,"callPortProblem":"taken"})",
       {5200}},
      {R"({"callPort":5200})", "", R"(200 {"callPort":5200,"callPortProblem":""})", {5200}},
      {R"({"callPort":5200})", "", R"(200 {"callPort":5200,"callPortProblem":""})", {}},
  };
  for (const auto& step : steps) {
    datagrams.listened.clear();
    datagrams.listenProblem = step.listenProblem;
    const std::string answer = Call("POST", "/api/settings", step.body);
    EXPECT_EQ(answer.substr(0, step.answer.size()), step.answer) << step.body;
    EXPECT_EQ(datagrams.listened, step.listened) << step.body;
  }
  EXPECT_EQ(dir.Read("console.ini"), "CallPort=5200\n");
  fake.fileWriteFailure =
      platform::FileWriteFailure{platform::FileWriteFailure::Step::Write, "full"};
  EXPECT_EQ(Call("POST", "/api/settings", R"({"callPort":5300})"),
            R"(500 {"problem":"設定を保存できませんでした: full"})");
  EXPECT_EQ(Answer("GET", "/api/room")["callPort"], 5200);
}

}  // namespace
