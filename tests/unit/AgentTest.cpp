#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "child/BrowserControl.h"
#include "child/Datagram.h"
#include "child/Program.h"
#include "fake/FakePlatform.h"
#include "unit/ScratchDir.h"

namespace {

using namespace std::chrono_literals;
using child::Form1;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Strings = std::vector<std::string>;

constexpr const char* kSettings =
    "MasterPortx=5000\r\nMyHostPortx=5001\r\nMasterCompx=pc\r\nMyCompNumxx=07\r\n";
constexpr const char* kMessageTitle = "Velostrander_Childからのメッセージ";

// One agent on the fake platform, started in a scratch folder; `settings` null: no settings file at
// all. `before` runs just before the start-up.
struct Agent : fake::FakePlatform {
  explicit Agent(
      const char* settings = kSettings, const std::function<void(Agent&)>& before = [](Agent&) {}) {
    program.settingsFile = dir.path() / "Velostrander_Child.ini";
    if (settings) dir.Write("Velostrander_Child.ini", settings);
    before(*this);
    form.Load();
  }
  fake::WindowState& Window() { return window("Form1"); }
  // A datagram, or a failed read, and whatever the agent does with it meanwhile.
  template <typename... Arrival>
  void Take(Arrival... arrival) {
    endpoint->arrive(arrival...);
    runPending();
  }
  const std::string& Message() {  // the first box's, under the agent's own title
    EXPECT_THAT(messages.at(0), StartsWith(std::string(kMessageTitle) + ": "));
    return messages.at(0);
  }

  ScratchDir dir;
  child::Program program{*this};
  Form1& form = program.form1;
};

TEST(Form1Test, NormalStartRunsEveryStepInOrder) {
  Agent agent;
  EXPECT_THAT(agent.log,
              ElementsAre("create Form1", "create Form2", "move Form2 17505 13785", "show Form2",
                          "disable close Form1", "caption Form1.Label1 コンピュータ番号:07",
                          "bind 5001", "tray add Form1 1 7 512 Velostrander_Child", "hide Form1",
                          "hide Form1.Menu1", "remote host pc"));
  EXPECT_EQ(agent.form.state(), Form1::State::Running);
  EXPECT_TRUE(agent.messages.empty());
}

TEST(Form1Test, ASecondInstanceWarnsAndEndsWithNothingElseRun) {
  Agent agent(kSettings, [](Agent& a) { a.otherInstance = true; });
  EXPECT_THAT(agent.log, ElementsAre("create Form1", "create Form2", "move Form2 17505 13785",
                                     "show Form2", "message 警告", "end program"));
  EXPECT_THAT(agent.messages, ElementsAre("警告: すでにこのプログラムは起動しています"));
  EXPECT_EQ(agent.form.state(), Form1::State::Refused);
  EXPECT_EQ(agent.program.childSettings.MyCompNum, "");
}

// A settings file that is missing, cannot be opened, or has lines the agent cannot take apart,
// one of them with a value too long to show whole.
TEST(Form1Test, StartUpStopsHalfStartedWhenTheSettingsCannotBeRead) {
  const std::string overlong = "MasterPortx=" + std::string(5000, '9') + "\r\n";
  const struct {
    const char* settings;
    bool folder;  // a folder of that name: the file cannot be opened
    Strings message;
  } cases[] = {
      {nullptr, false, {" ファイルがありません"}},
      {nullptr, true, {"Velostrander_Child.ini」を開けませんでした", "もう一度起動"}},
      {"[Velostrander]\r\nMyCompNumxx=07\r\nMasterPor\r\nMyHostPortx=70000\r\n",
       false,
       {"Velostrander_Child.ini", "3行目", "4行目", "70000"}},
      {overlong.c_str(), false, {"99999…"}},
  };
  for (const auto& c : cases) {
    Agent agent(c.settings, [&](Agent& a) {
      if (c.folder) std::filesystem::create_directory(a.program.settingsFile);
    });
    ASSERT_EQ(agent.messages.size(), c.message.empty() ? 0u : 1u);
    for (const auto& part : c.message) {
      EXPECT_THAT(agent.Message(), AllOf(HasSubstr(part), Not(HasSubstr("2行目"))));
      EXPECT_LT(agent.Message().size(), 444u);  // 400 bytes besides the title
    }
    EXPECT_EQ(agent.form.state(), Form1::State::HalfStarted);
    EXPECT_EQ(agent.log.back(), "show Form1");
    EXPECT_EQ(agent.Window().menusVisible.count("Menu1"), 0u);  // its menu bar stays
    EXPECT_EQ(agent.Window().captions["Label1"], "");
    EXPECT_EQ(agent.program.childSettings.MyCompNum, "");
    EXPECT_EQ(agent.endpoint, nullptr);
    EXPECT_EQ(agent.logged("browser created"), 0);
  }
}

// The agent still starts: its call panel and tray stay useful.
TEST(Form1Test, APortThatCannotBeBoundIsReportedAndStartUpGoesOn) {
  const struct {
    std::string port;
    platform::BindResult result;
    const char* reason;
  } cases[] = {
      {"5001", platform::BindResult::PortInUse, "ほかのプログラムが使用しています"},
      {"5001", platform::BindResult::AccessDenied, "このポートを使う権限がありません"},
      {"5001", platform::BindResult::Failed, "ポートを開けませんでした"},
      {"0", platform::BindResult::Bound, "1～32767 の番号を指定してください"},
      {"-5001", platform::BindResult::Bound, "1～32767 の番号を指定してください"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.port);
    Agent agent(("MyHostPortx=" + c.port + "\r\n").c_str(),
                [&](Agent& a) { a.bindResult = c.result; });
    ASSERT_EQ(agent.messages.size(), 1u);
    EXPECT_THAT(agent.Message(), HasSubstr("UDPポート " + c.port +
                                           " で受信を始められませんでした（" + c.reason + "）"));
    EXPECT_EQ(agent.logged("bind " + c.port), c.port[0] != '0' && c.port[0] != '-');
    EXPECT_EQ(agent.form.state(), Form1::State::Running);
  }
}

TEST(Form1Test, ASystemCloseDuringAStartUpMessageStopsStartUp) {
  for (const char* settings :
       {static_cast<const char*>(nullptr), "MasterPor\r\n", "MyHostPortx=0\r\n"}) {
    Agent agent(settings, [](Agent& a) { a.whileMessageOpen = [&] { a.close("Form1"); }; });
    EXPECT_FALSE(agent.form.loaded());
    EXPECT_EQ(agent.form.state(), Form1::State::Ending);
    EXPECT_EQ(agent.logged("browser created"), 0);
  }
}

TEST(Form1Test, EndReleasesTheBrowserUnloadsAndSaysNothing) {
  const Strings released = {"browser visible false", "browser released", "unload Form2",
                            "tray remove 1",         "unload Form1",     "tray remove 1"};
  const struct {
    const char* when;
    const char* settings;
    bool browserClosed;
    Strings steps;
  } cases[] = {{"running", kSettings, false, released},
               {"after the user closed the browser", kSettings, true, released},
               // The record was never filled: its removal finds no icon.
               {"half-started",
                nullptr,
                false,
                {"unload Form2", "tray remove 0", "unload Form1", "tray remove 0"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when);
    Agent agent(c.settings);
    if (agent.endpoint) agent.Take("Command:VisibleTrue");
    if (c.browserClosed) agent.browser().alive = false;
    const auto messages = agent.messages.size();
    agent.log.clear();
    agent.click("Form1", "Command1");
    EXPECT_THAT(agent.log, ElementsAreArray(c.steps));
    EXPECT_EQ(agent.loadedWindows(), 0u);
    EXPECT_EQ(agent.endpoint, nullptr);
    EXPECT_EQ(agent.messages.size(), messages);
  }
}

// The tray's mouse message is in X, in twips: divided by the factor and rounded, halves to even.
// Only a right press (516) opens the menu, at any resolution; over the visible main window no
// position at 15 twips a pixel is 516 pixels in.
TEST(Form1Test, ARightPressOnTheTrayIconPopsUpTheMenu) {
  const struct {
    double x, twipsPerPixel;
    bool opens;
  } cases[] = {{7740, 15, true},
               {7747.5, 15, true},
               {7762.5, 15, false},
               {7725, 15, false},
               {516 * 14.4, 14.4, true},                  // 100 dots per inch
               {516 * 1440.0 / 168, 1440.0 / 168, true},  // 175 %
               {516 * 12, 12, true},
               {3629, 15, false},
               {513 * 15, 15, false}};
  const Strings opened = {"foreground Form1", "process pending events", "pop up Form1.Menu1"};
  for (const auto& c : cases) {
    Agent agent;
    agent.twipsPerPixel = c.twipsPerPixel;
    agent.log.clear();
    agent.Window().declaration.onMouseMove({0, 0, c.x, 0});
    EXPECT_EQ(agent.log, c.opens ? opened : Strings{}) << c.x << " at " << c.twipsPerPixel;
  }
}

// The label shows the number as read; the About box, loaded once however often it is chosen and
// brought to the front each time, shows the same.
TEST(Form1Test, TheMenuShowsTheOperationPanelOrTheOneAboutBoxBothWithTheNumberAsRead) {
  const struct {
    const char* settings;
    const char* label;
    const char* aboutLabel;
  } cases[] = {
      {kSettings, "コンピュータ番号:07", "コンピュータ番号:07"},
      {"MyCompNumxx=7\r\n", "コンピュータ番号:7", "コンピュータ番号:7"},
      {"MasterCompx=pc\r\n", "コンピュータ番号:", "コンピュータ番号:"},
      {nullptr, "", "コンピュータ番号:"},  // half-started
  };
  for (const auto& c : cases) {
    Agent agent(c.settings);
    EXPECT_EQ(agent.Window().captions["Label1"], c.label);
    agent.choose("Form1", "Menu2");
    EXPECT_TRUE(agent.Window().visible);
    EXPECT_FALSE(agent.Window().menusVisible["Menu1"]);
    agent.choose("Form1", "Menu3");
    agent.choose("Form1", "Menu3");
    EXPECT_EQ(agent.logged("create frmAbout"), 1);
    EXPECT_EQ(agent.logged("foreground frmAbout"), 2);
    EXPECT_TRUE(agent.window("frmAbout").visible);
    EXPECT_EQ(agent.window("frmAbout").captions["Label1"], c.aboutLabel);
  }
}

TEST(DecodeDatagram, CommandsVerbsRefusedAddressesAndUrls) {
  using child::Request;
  const std::pair<Request, std::vector<std::string_view>> cases[] = {
      {Request::PartScreen, {"Command:PartScreen"}},
      {Request::FullScreen, {"Command:FullScreen"}},
      {Request::VisibleTrue, {"Command:VisibleTrue"}},
      {Request::VisibleFalse, {"Command:VisibleFalse"}},
      // A command whose verb is none of the four, compared exactly.
      {Request::NoChange,
       {"Command:", "Command:FullScreen\r\n", "Command:fullscreen", "Command: FullScreen",
        "Command:FullScreenVisibleTrue", "Command:http://example.com/",
        "Command:javascript:alert(1)"}},
      // Scripts and the browser's own pages, with the scheme read as browsers read it; one after
      // an ideographic space.
      {Request::Refused,
       {"javascript:fetch('http://x/')", "JavaScript:alert(1)", "vbscript:MsgBox(1)",
        " \t\x01javascript:alert(1)", "java\tscr\nipt:alert(1)", "VBScript\r:x",
        "\xE3\x80\x80javascript:alert(1)"}},
      {Request::Refused,
       {"chrome://kill", "CHROME://crash", " chrome-untrusted://print/", "devtools://devtools/",
        "edge://settings", "view-source:http://host/", "Ch\trome:hang", "about:version", "about:",
        "ABOUT:BLANK", "about:blank/", "about:blankx", "about://blank", "about:blank\x01"}},
      // Bytes that were no text, or control characters other than tabs and line breaks.
      {Request::Garbled,
       {"\xEF\xBF\xBD", "http://host/\xEF\xBF\xBD", "http://host/a\x01z", "\x7F", "a \x1B b",
        "\x03\x16", "http://host/\x1F", std::string_view("Command\0:FullScreen", 19)}},
      // Anything else is a URL, "file:" included.
      {Request::OpenUrl,
       {"http://192.168.0.1/page.html", "file:///home/student/page.html", "127.0.0.1:8080/page",
        "http://host/?next=javascript:alert(1)", "javascripts:alert(1)", "command:FullScreen",
        " Command:FullScreen", "Command", "Comman", "", "Command;FullScreen", "ページ.html",
        " http://host/a\tb\r\n ", "about:blank", "About:bl\tank", "about:blank#top",
        "about:blank?a", "chromes://kill", "http://host/chrome://kill"}},
  };
  for (const auto& [request, texts] : cases) {
    for (const auto text : texts) EXPECT_EQ(child::DecodeDatagram(text), request) << text;
  }
}

// With its browser started: the first page or "VisibleTrue" starts it.
class Form1DatagramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    agent.Take("Command:VisibleTrue");
    log.clear();
  }
  fake::FakeEndpoint& Endpoint() { return *agent.endpoint; }
  fake::BrowserState& Browser() { return agent.browser(); }

  Agent agent;
  fake::Log& log = agent.log;
};

// Junk and refused addresses cost no call into the browser; a command of no known verb only
// switches the menu bar off, as every step does.
TEST_F(Form1DatagramTest, EachTextDoesItsOneThingThenTheMenuBarGoesOff) {
  const std::pair<std::string, Strings> cases[] = {
      {" http://192.168.0.1/ページ.html ",  // as it came: spaces are the browser's to read
       {"browser navigate  http://192.168.0.1/ページ.html ", "browser visible true"}},
      {"Command:FullScreen", {"browser fullscreen true"}},
      {"Command:VisibleTrue", {"browser visible true"}},
      {"Command:VisibleFalse", {"browser visible false"}},
      {"Command:PartScreen", {"browser fullscreen false"}},
      {"Command:FullScreen\r\n", {}},
      {"Command:", {}},
  };
  for (auto [text, expected] : cases) {
    log.clear();
    agent.Take(text);
    expected.push_back("browser menubar false");
    EXPECT_THAT(log, ElementsAreArray(expected)) << text;
  }
  for (const char* ignored : {"javascript:fetch('http://192.168.0.9/')", "http://host/a\x01z"}) {
    log.clear();
    agent.Take(ignored);
    EXPECT_THAT(log, ElementsAre()) << ignored;
  }
}

Strings operator+(Strings first, const Strings& then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

Strings Opened(const std::string& url) {
  return {"browser navigate " + url, "browser visible true"};
}

// Every page would load for ever, but for the wait's bound. "…": a second passes, the event loop
// running meanwhile. What the browser was asked, but the menu bar, and the seconds, in order.
TEST(RequestQueueTest, TheLatestPageWinsAndTheCommandsKeepTheirPlace) {
  const Strings second = {"…"};
  const struct {
    const char* rule;
    Strings datagrams;
    Strings asked;
  } cases[] = {
      {"of a burst only the last page opens, after the commands before it, in order",
       {"http://a/", "Command:FullScreen", "http://b/", "Command:VisibleFalse", "http://c/", "…"},
       Strings{"browser fullscreen true", "browser visible false"} + Opened("http://c/") + second},
      {"a newer page ends the wait for the one that loads, each time",
       {"http://a/", "…", "Command:FullScreen", "about:blank", "…", "http://b/", "…"},
       Opened("http://a/") + Strings{"…", "browser fullscreen true"} + Opened("about:blank") +
           second + Opened("http://b/") + second},
      {"a command waits for the page before it; junk, refusals and no change end no wait",
       {"http://a/", "…", "Command:", "javascript:alert(1)", "http://a/\x01",
        "Command:VisibleFalse", "…"},
       Opened("http://a/") + Strings{"…", "…", "browser visible false"}},
      {"past its bound the oldest command goes, never the page",
       Strings{"http://a/", "…"} + Strings(60, "Command:FullScreen") + Strings{"http://b/"} +
           Strings(60, "Command:PartScreen") + second,
       Opened("http://a/") + second + Strings(40, "browser fullscreen true") + Opened("http://b/") +
           second + Strings(60, "browser fullscreen false")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    Agent agent;
    agent.Take("Command:VisibleTrue");
    agent.browser().pagePolls = 1'000'000;
    agent.log.clear();
    for (const auto& datagram : c.datagrams) {
      if (datagram != "…") agent.endpoint->arrive(datagram);
      if (datagram == "…") agent.advance(1s);
      if (datagram == "…") agent.log.push_back(datagram);
    }
    agent.runPending();
    std::erase(agent.log, "browser menubar false");
    EXPECT_THAT(agent.log, ElementsAreArray(c.asked));
  }
}

// Windows may run other events inside a call into the browser: a page that comes then ends the
// wait for the one before as soon as it begins.
TEST_F(Form1DatagramTest, APageThatComesInsideTheBrowsersCallEndsTheWaitAsItBegins) {
  Browser().pagePolls = 1'000'000;
  Browser().whileNavigating = [this] { Endpoint().arrive("http://b/"); };
  Endpoint().arrive("http://a/");
  agent.advance(1s);
  EXPECT_THAT(log, ElementsAreArray(Opened("http://a/") + Strings{"browser menubar false"} +
                                    Opened("http://b/")));
}

TEST_F(Form1DatagramTest, ARefusedCallIsReportedAndLaterDatagramsWaitForTheBox) {
  agent.click("Form2", "Command1");
  log.clear();
  agent.whileMessageOpen = [this] {
    Endpoint().arrive("Command:FullScreen");
    EXPECT_FALSE(Browser().fullScreen);
  };
  Endpoint().arrive({platform::ReadResult::RefusedByDestination, {}, fake::FakeEndpoint::kMaster});
  agent.runPending();
  EXPECT_THAT(agent.messages,
              ElementsAre(std::string(kMessageTitle) + ": Velostrander_Masterが見つかりません"));
  EXPECT_THAT(log, ElementsAre("message " + std::string(kMessageTitle), "browser fullscreen true",
                               "browser menubar false"));
}

// The endpoint goes with the form, inside its own handler.
TEST_F(Form1DatagramTest, TheSystemMayCloseTheFormWhileARefusalIsShown) {
  agent.click("Form2", "Command1");
  agent.whileMessageOpen = [this] { agent.close("Form1"); };
  Endpoint().arrive({platform::ReadResult::RefusedByDestination, {}});
  EXPECT_EQ(agent.form.state(), Form1::State::Ending);
  EXPECT_EQ(agent.endpoint, nullptr);
  EXPECT_EQ(log.back(), "unload Form1");
}

// Anyone can forge the ICMP refusal of a datagram: only one of the call just made, to the master's
// address and port, is the master's answer. Where the system names no destination (Windows may
// not), the time since the call decides. Anything else, and any other failed read, is dropped
// without a word, and the datagram behind it is handled at once.
TEST(Form1Refusals, OnlyARefusalOfTheCallJustMadeShowsTheBox) {
  using platform::Peer;
  constexpr Peer kMaster = fake::FakeEndpoint::kMaster;
  constexpr auto kRefused = platform::ReadResult::RefusedByDestination;
  // Calls made, 10 s apart; time since the last; the read; the destination it names; a box.
  const std::tuple<int, std::chrono::milliseconds, platform::ReadResult, std::optional<Peer>, bool>
      cases[] = {
          {1, 0ms, kRefused, kMaster, true},
          {2, 5s, kRefused, kMaster, true},
          {1, 5001ms, kRefused, kMaster, false},
          {0, 0ms, kRefused, kMaster, false},
          {1, 0ms, kRefused, Peer{kMaster.address, 5001}, false},
          {1, 0ms, kRefused, Peer{0x0A000002, kMaster.port}, false},
          {1, 1s, kRefused, std::nullopt, true},
          {1, 5001ms, kRefused, std::nullopt, false},
          {0, 0ms, kRefused, std::nullopt, false},
          {1, 0ms, platform::ReadResult::Failed, kMaster, false},
      };
  for (const auto& [calls, after, read, names, shown] : cases) {
    Agent agent;
    for (int call = 0; call < calls; ++call) {
      agent.advance(10s);
      agent.click("Form2", "Command1");
    }
    agent.advance(after);
    // Twice: one call is refused once.
    agent.endpoint->arrive({read, {}, names});
    agent.endpoint->arrive({read, {}, names});
    agent.Take("Command:VisibleTrue");
    EXPECT_EQ(agent.messages.size(), shown ? 1u : 0u) << calls << " " << after.count();
    if (shown) {
      EXPECT_THAT(agent.Message(), HasSubstr("Velostrander_Masterが見つかりません"));
    }
    EXPECT_TRUE(agent.browser().visible);
  }
}

// Without the line every sender is obeyed, and nothing looked up. With MasterOnlyx=1 only
// datagrams from an address that MasterComp resolves to are, from the lookup's answer on; one from
// elsewhere looks the name up again, once a minute at most and never two at once, and a lookup
// that finds nothing keeps the addresses known.
TEST(Form1Senders, OnlyTheMastersAddressesAreObeyedLookedUpAgainAtMostOnceAMinute) {
  constexpr std::uint32_t kFirst = 0x0A000001, kSecond = 0x0A000002, kElsewhere = 0x0A000009;
  Agent off;
  off.Take("Command:VisibleTrue", platform::Peer{kElsewhere, 5000});
  EXPECT_TRUE(off.browser().visible && off.logged("look up pc") == 0);
  Agent agent((std::string(kSettings) + "MasterOnlyx=1").c_str());
  const auto obeyed = [&](std::uint32_t sender, std::chrono::seconds after = 0s) {
    agent.advance(after);
    const bool visible = agent.browser().visible;
    agent.Take(visible ? "Command:VisibleFalse" : "Command:VisibleTrue",
               platform::Peer{sender, 5000});
    return agent.browser().visible != visible;
  };
  EXPECT_FALSE(obeyed(kFirst));
  agent.answerLookUps({kFirst, kSecond});
  EXPECT_TRUE(obeyed(kSecond));
  EXPECT_FALSE(obeyed(kElsewhere));
  EXPECT_FALSE(obeyed(kElsewhere, 59s));
  EXPECT_EQ(agent.logged("look up pc"), 1);
  EXPECT_FALSE(obeyed(kElsewhere, 1s));
  EXPECT_FALSE(obeyed(kElsewhere));
  EXPECT_EQ(agent.logged("look up pc"), 2);
  agent.answerLookUps({});
  EXPECT_TRUE(obeyed(kFirst));
  EXPECT_FALSE(obeyed(kElsewhere, 60s));
  agent.answerLookUps({kElsewhere});
  EXPECT_FALSE(obeyed(kFirst));
  EXPECT_TRUE(obeyed(kElsewhere));
  EXPECT_EQ(agent.logged("look up pc"), 3);
  EXPECT_TRUE(agent.messages.empty());
}

TEST_F(Form1DatagramTest, EndDuringAPageWaitLeavesNothingToRunAfterwards) {
  Browser().pagePolls = 100;
  Endpoint().arrive("http://slow/");
  agent.advance(0ms);
  agent.click("Form1", "Command1");
  log.clear();
  agent.runPending();
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(agent.loadedWindows(), 0u);
}

// The settings could not be read (no file), name no port or no computer, or the call cannot be
// sent there, each failure said as it is: the person at this PC learns why, and the agent runs on.
TEST(Form2Test, ACallThatCannotBeMadeSaysWhy) {
  using enum platform::SendResult;
  const char* const toPc = "MasterPortx=5000\r\nMasterCompx=pc\r\nMyHostPortx=5001\r\n";
  const struct {
    const char* settings;
    platform::SendResult sent;
    std::string why;
  } cases[] = {
      {nullptr, Sent, "設定ファイル「Velostrander_Child.ini」を読めなかったため"},
      {"MasterPortx=0\r\nMasterCompx=pc\r\nMyHostPortx=5001\r\n", Sent, "ポート番号 0 では"},
      {"MasterPortx=-5\r\nMasterCompx=pc\r\nMyHostPortx=5001\r\n", Sent, "ポート番号 -5 では"},
      {"MasterPortx=5000\r\nMasterCompx=\r\nMyHostPortx=5001\r\n", Sent, "コンピュータ名がない"},
      {toPc, NoSuchHost, "コンピュータ「pc」が見つからない"},
      {toPc, NetworkUnreachable, "「pc」へ届くネットワークがない"},
      {toPc, NotPermitted, "「pc」への送信が許可されていない"},
      {toPc, Failed, "「pc」に呼び出しを送れませんでした"},
  };
  for (const auto& [settings, sent, why] : cases) {
    Agent agent(settings);
    if (agent.endpoint) agent.endpoint->sendResult = sent;
    agent.messages.clear();
    agent.click("Form2", "Command1");
    ASSERT_EQ(agent.messages.size(), 1u) << why;
    EXPECT_THAT(agent.Message(), HasSubstr(why));
    EXPECT_FALSE(std::ranges::any_of(agent.log, [](auto& e) { return e.starts_with("send"); }));
    EXPECT_TRUE(agent.form.loaded());
  }
}

// Any press on the body puts the panel on top; a left one (1, 3) drags it first.
TEST(Form2Test, APressOnTheBodyPutsThePanelOnTopAfterAnyDrag) {
  for (const int button : {1, 2, 3, 4}) {
    Agent agent(nullptr);
    agent.log.clear();
    agent.window("Form2").declaration.onMouseDown({button, 0, 0, 0});
    const Strings top = {"topmost Form2 true"}, dragged = {"drag Form2", "topmost Form2 true"};
    EXPECT_EQ(agent.log, button & 1 ? dragged : top) << button;
  }
}

// The browser, as the agent drives it.
class BrowserControlTest : public ::testing::Test, public fake::FakePlatform {
 protected:
  child::BrowserControl control{browsers(), scheduler(), desktop()};
  int loaded = 0;
  std::function<void()> onLoaded = [this] { ++loaded; };
};

// The wait for a page that loads is the agent's (Form1DatagramTest); closed, it ends at the next
// look.
TEST_F(BrowserControlTest, AWaitEndsWhenTheBrowserIsClosed) {
  control.Create();
  browser().pagePolls = 100;
  control.ShowPage("http://a/", onLoaded);
  browser().alive = false;
  EXPECT_EQ(loaded, 0);
  EXPECT_EQ(runPending(), 1);
  EXPECT_EQ(loaded, 1);
}

// A 20 ms timer that fires every 31 ms, as Windows' do: the limit is a time, not a count.
TEST_F(BrowserControlTest, APageThatNeverLoadsCountsAsLoadedAfterFifteenSeconds) {
  timerLag = 11ms;
  control.Create();
  browser().pagePolls = 1'000'000;
  control.ShowPage("http://slow/", onLoaded);
  while (loaded == 0 && runPending(1) == 1) {
    EXPECT_TRUE(loaded == 1 || sinceStart() < 15s) << sinceStart().count();
  }
  EXPECT_EQ(loaded, 1);
  EXPECT_GE(sinceStart(), 15s);
  EXPECT_LT(sinceStart(), 15s + 31ms);
}

TEST_F(BrowserControlTest, NoBrowserIsReportedOnceInTheRunAndTriedAgainWhenNeeded) {
  browserFailuresLeft = 2;
  control.Create();
  control.ShowPage("http://a/", onLoaded);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_THAT(messages[0], AllOf(StartsWith(std::string(kMessageTitle) + ": "),
                                 HasSubstr("FakeBrowser.exe\nnot installed")));
  EXPECT_EQ(loaded, 1);
  control.SetVisible(true);  // still none: skipped silently
  control.ShowPage("http://b/", onLoaded);
  EXPECT_EQ(loaded, 2);
  EXPECT_EQ(logged("browser created"), 1);
  EXPECT_EQ(logged("browser navigate http://b/"), 1);
  EXPECT_TRUE(browser().visible);

  browser().alive = false;
  browserFailuresLeft = 2;
  control.ShowPage("http://c/", onLoaded);
  control.ShowPage("http://d/", onLoaded);
  EXPECT_EQ(loaded, 4);
  EXPECT_EQ(messages.size(), 1u);
}

// Only a page or "VisibleTrue" starts a browser, at first as after one has gone; it comes in the
// full-screen state last asked for, tool bar and menu bar off.
TEST_F(BrowserControlTest, ABrowserStartsWhenFirstNeededAndAgainWhenGone) {
  // Each request, and the full-screen state of the browser it starts ("": it starts none).
  const std::pair<std::function<void(child::BrowserControl&)>, std::string> cases[] = {
      {[](auto& c) { c.SetFullScreen(true); }, ""},
      {[](auto& c) { c.SetVisible(false); }, ""},
      {[](auto& c) { c.HideMenuBar(); }, ""},
      {[](auto& c) { c.SetVisible(true); }, "true"},
      {[](auto& c) { c.SetFullScreen(false); }, ""},
      {[](auto& c) { c.ShowPage("http://a/", [] {}); }, "false"},
  };
  control.Create();
  for (const auto& [request, fullScreen] : cases) {
    log.clear();
    browser().alive = false;
    request(control);
    EXPECT_EQ(logged("browser created"), !fullScreen.empty());
    EXPECT_EQ(logged("browser fullscreen " + fullScreen), !fullScreen.empty());
    EXPECT_EQ(logged("browser toolbar false"), !fullScreen.empty());
  }
}

TEST_F(BrowserControlTest, ReleaseIsSilentEndsAnyWaitAndNothingComesBackAfterIt) {
  const struct {
    const char* when;
    int pagePolls;
    bool insideNavigate;  // as Windows may run a log-off in the middle of a call
  } cases[] = {{"after a page", 0, false},
               {"during the page's wait", 100, false},
               {"inside the backend's navigate", 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when);
    fake::FakePlatform fake;
    child::BrowserControl browserControl{fake.browsers(), fake.scheduler(), fake.desktop()};
    browserControl.Create();
    fake.browser().pagePolls = c.pagePolls;
    if (c.insideNavigate) fake.browser().whileNavigating = [&] { browserControl.Release(); };
    int pageLoaded = 0;
    browserControl.ShowPage("http://a/", [&] { ++pageLoaded; });
    browserControl.Release();
    browserControl.Release();
    fake.runPending();
    browserControl.SetVisible(true);
    browserControl.ShowPage("http://b/", [] {});
    EXPECT_EQ(pageLoaded, 1);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(fake.logged("browser created"), 1);
    EXPECT_THAT(std::vector(fake.log.end() - 2, fake.log.end()),
                ElementsAre("browser visible false", "browser released"));
    EXPECT_EQ(fake.logged("browser released"), 1);
  }
}

}  // namespace
