#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "child/BrowserControl.h"
#include "devtools/Address.h"
#include "devtools/Browsers.h"
#include "devtools/Session.h"
#include "fake/FakePlatform.h"
#include "fake/ScriptedPrograms.h"

namespace {

using namespace std::chrono_literals;
using devtools::Session;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Pair;
using Strings = std::vector<std::string>;

// Each text ended by its NUL, as the pipe carries them.
std::string Pipe(const Strings& texts) {
  std::string bytes;
  for (const auto& text : texts) bytes += text + '\0';
  return bytes;
}

// The browser's side of the session's start (its requests numbered 1 to 4), in the shapes
// Chromium 156 gives: an answer between events, a target that is no page first, the window's
// answer before Page.enable's.
const std::string kReady = Pipe({
    R"({"method":"Target.targetCreated","params":{"targetInfo":{"targetId":"U","type":"browser_ui"}}})",
    R"({"method":"Target.targetCreated","params":{"targetInfo":{"targetId":"T","type":"page"}}})",
    R"({"id":1,"result":{}})",
    R"({"method":"Target.attachedToTarget","params":{"sessionId":"S"}})",
    R"({"id":2,"result":{"sessionId":"S"}})",
    R"({"id":4,"result":{"windowId":7,"bounds":{"windowState":"normal"}}})",
    R"({"id":3,"result":{},"sessionId":"S"})",
});
const std::string kClose = "(the pipe closes)";

void Write(fake::ScriptedPrograms& programs, std::string_view bytes) {
  bytes == kClose ? programs.browser.closed() : programs.browser.received(bytes);
}

// One session on the scripted pipe, started.
struct Peer : fake::FakePlatform {
  Peer() { session.start(programs); }
  void Write(std::string_view bytes) { ::Write(programs, bytes); }
  fake::ScriptedPrograms programs;
  std::vector<Session::End> ends;
  Session session{scheduler(), [this](Session::End end) { ends.push_back(end); }};
};

// Whatever way the bytes are cut into reads, the same messages come of them; the wishes of
// before are done then, the latest of each kind.
TEST(SessionTest, GetsReadyAndDoesTheLatestWishesHoweverTheBytesAreCut) {
  for (const std::size_t read : {std::size_t{1}, std::size_t{5}, std::size_t{100}, kReady.size()}) {
    Peer peer;
    peer.session.navigate("http://a/");
    peer.session.navigate("http://b/");
    peer.session.setFullScreen(false);
    peer.session.setFullScreen(true);
    peer.session.setVisible(true);
    EXPECT_TRUE(peer.session.busy());
    for (std::size_t at = 0; at < kReady.size(); at += read) peer.Write(kReady.substr(at, read));
    EXPECT_EQ(
        peer.programs.sent,
        Pipe(
            {R"({"id":1,"method":"Target.setDiscoverTargets","params":{"discover":true}})",
             R"({"id":2,"method":"Target.attachToTarget","params":{"flatten":true,"targetId":"T"}})",
             R"({"id":3,"method":"Page.enable","sessionId":"S"})",
             R"({"id":4,"method":"Browser.getWindowForTarget","params":{"targetId":"T"}})",
             R"({"id":5,"method":"Browser.setDownloadBehavior","params":{"behavior":"deny"}})",
             R"({"id":6,"method":"Browser.setWindowBounds","params":{"bounds":{"windowState":"fullscreen"},"windowId":7}})",
             R"({"id":7,"method":"Page.navigate","params":{"url":"http://b/"},"sessionId":"S"})"}))
        << read;
    // Shown in the state wished for, which the window manager may not keep for a hidden window.
    peer.session.setVisible(false);
    peer.session.setFullScreen(false);
    peer.session.setVisible(true);
    EXPECT_THAT(peer.programs.shown,
                ElementsAre(Pair(true, true), Pair(false, true), Pair(true, false)));
    EXPECT_TRUE(peer.session.busy());
    EXPECT_TRUE(peer.session.alive());
  }
}

// Busy from navigate() until the main frame has loaded, after the navigation's answer (number 6
// here), and then said once; not waited for when the navigation stays in the document or fails at
// once. What ends the session, and what is skipped: the program is dropped from the event loop, and
// a browser that had answered is reported gone, not refusing.
TEST(SessionTest, FollowsThePageAndTheBrowsersEnd) {
  const auto loader = Pipe({R"({"id":6,"result":{"frameId":"F","loaderId":"L"},"sessionId":"S"})"});
  const auto loaded = Pipe({R"({"method":"Page.loadEventFired","params":{},"sessionId":"S"})"});
  const struct {
    std::string bytes;  // what the browser writes then
    bool busy, alive;
  } cases[][5] = {
      {{loader, true, true}, {loaded, false, true}},
      {{loaded, true, true},  // an earlier page's, a frame's, another session's
       {loader, true, true},
       {Pipe({R"({"method":"Page.frameStoppedLoading","params":{"frameId":"G"},"sessionId":"S"})",
              R"({"method":"Page.loadEventFired","params":{},"sessionId":"R"})"}),
        true, true},
       {Pipe({R"({"method":"Page.frameStoppedLoading","params":{"frameId":"F"},"sessionId":"S"})"}),
        false, true}},
      {{Pipe({R"({"id":6,"result":{"frameId":"F"}})"}), false, true}},
      {{Pipe({R"({"id":6,"result":{"frameId":"F","loaderId":"L","errorText":"net::ERR_FAILED"}})"}),
        false, true}},
      {{Pipe({R"({"id":6,"error":{"code":-32000,"message":"Cannot navigate"}})"}), false, true}},
      {{loader, true, true}, {R"({"id":9,"res)", true, true}, {kClose, false, false}},
      {{Pipe({R"({"id":)"}), false, false}},
      {{Pipe({R"({"method":"Target.targetDestroyed","params":{"targetId":"T"}})"}), false, false}},
      {{Pipe(
            {R"({"method":"Target.detachedFromTarget","params":{"sessionId":"S","targetId":"T"}})"}),
        false, false}},
      {{std::string((16 << 20) + 1, ' '), false, false}},
      {{Pipe({R"({"method":"Target.targetDestroyed","params":{"targetId":"U"}})",
              R"({"method":"Target.targetDestroyed","params":{"targetId":7}})",
              R"({"id":99,"result":{}})", R"({"id":"5"})", R"({"method":5,"params":[]})", "[1,2]",
              "7"}),
        true, true}},
  };
  for (const auto& steps : cases) {
    Peer peer;
    peer.Write(kReady);
    peer.session.navigate("http://a/");
    bool alive = true, loaded = false;
    EXPECT_TRUE(peer.session.whenLoaded([&] { loaded = true; }));
    for (const auto& step : steps) {
      if (step.bytes.empty()) break;
      peer.Write(step.bytes);
      peer.runPending(1);  // the word that the page loaded comes from the event loop
      EXPECT_EQ(loaded, !step.busy) << step.bytes.substr(0, 99);
      EXPECT_EQ(peer.session.busy(), step.busy) << step.bytes.substr(0, 99);
      EXPECT_EQ(alive = peer.session.alive(), step.alive) << step.bytes.substr(0, 99);
    }
    EXPECT_EQ(peer.ends, alive ? std::vector<Session::End>{} : std::vector{Session::End::Gone});
    peer.runPending();
    EXPECT_EQ(peer.programs.running, alive);
  }
}

// Browsers over scripted programs, a FakePlatform's own as the fallback, and the agent's control
// to see what it says.
struct Classroom : fake::FakePlatform {
  explicit Classroom(bool withFallback = true) : fallback(withFallback ? &browsers() : nullptr) {
    control.Create();
  }
  void Page() {
    control.ShowPage("http://a/", [] {});
  }
  fake::ScriptedPrograms programs;
  platform::BrowserFactory* fallback;
  devtools::Browsers factory{programs, scheduler(), fallback};
  child::BrowserControl control{factory, scheduler(), desktop()};
};

// No browser installed: the fallback silently, or the message once with no fallback. A browser
// that refuses its pipe (closes it, or says nothing for ten seconds) three times in a row hands
// over to the fallback for good, said once; with no fallback, it is said and the starts go on,
// spaced out. One that answered but never got ready is only gone.
TEST(BrowsersTest, NoneInstalledOrThePipeRefusedFallsBackAndSaysSoOnce) {
  const struct {
    bool installed, withFallback;
    std::string browser;  // what the browser writes; kClose: it closes its pipe
    int starts, created;  // programs started; the fallback's browsers
    std::string said;     // the one message's reason; empty: nothing said
  } cases[] = {
      {false, true, kClose, 4, 4, ""},
      {false, false, kClose, 4, 0, "not installed"},
      {true, true, kClose, 3, 1, "refused its DevTools pipe"},
      {true, true, "", 3, 1, "refused its DevTools pipe"},
      {true, true, Pipe({R"({"id":1,"result":{}})"}), 4, 0, ""},
      {true, false, kClose, 4, 0, "refused its DevTools pipe"},
  };
  for (const auto& c : cases) {
    Classroom room(c.withFallback);
    room.programs.installed = c.installed;
    for (int page = 0; page < 4; ++page) {
      const int starts = room.programs.starts;
      room.Page();
      if (c.installed && room.programs.starts > starts) Write(room.programs, c.browser);
      room.runPending();
      room.browser().alive = false;  // the fallback's, if any
      room.advance(2s);              // past the spacing after the second death at once
    }
    EXPECT_EQ(room.programs.starts, c.starts);
    EXPECT_EQ(room.logged("browser created"), c.created);
    EXPECT_EQ(room.messages.size(), !c.said.empty()) << c.said;
    EXPECT_THAT(room.messages, ::testing::Each(HasSubstr(c.said)));
  }
}

// A browser that dies within ten seconds is started again at once; each further one in a row
// doubles the wait before the next start, up to a minute; one that lived longer starts the count
// again. A page within the wait gets no browser and no message.
TEST(BrowsersTest, RestartsOfABrowserThatDiesAtOnceAreSpacedOut) {
  Classroom room;
  const auto startAndDie = [&](std::chrono::seconds life) {
    room.control.SetVisible(true);
    room.programs.browser.received(kReady);
    room.advance(life);
    room.programs.browser.closed();
  };
  startAndDie(0s);
  startAndDie(0s);
  int starts = 2;
  EXPECT_EQ(room.programs.starts, starts);
  for (const auto spacing : {1s, 2s, 4s, 8s, 16s, 32s, 60s, 60s}) {
    room.advance(spacing - 1ms);
    room.control.SetVisible(true);
    EXPECT_EQ(room.programs.starts, starts) << spacing.count();
    room.advance(1ms);
    startAndDie(0s);
    EXPECT_EQ(room.programs.starts, ++starts) << spacing.count();
  }
  room.advance(60s);
  startAndDie(10s);
  startAndDie(0s);
  EXPECT_EQ(room.programs.starts, starts + 2);
  EXPECT_TRUE(room.messages.empty());
  EXPECT_EQ(room.logged("browser created"), 0);
}

// The agent waits for the browser's word that the page loaded, and for fifteen seconds at most:
// the next datagram is taken once, whichever comes first.
TEST(BrowsersTest, APageIsWaitedForUntilItLoadsOrFifteenSeconds) {
  // The navigation is the seventh request, after the downloads' and the window's state.
  const auto answer = Pipe({R"({"id":7,"result":{"frameId":"F","loaderId":"L"},"sessionId":"S"})"});
  const auto load = Pipe({R"({"method":"Page.loadEventFired","params":{},"sessionId":"S"})"});
  for (const bool loads : {true, false}) {
    Classroom room;
    int taken = 0;
    room.control.ShowPage("http://a/", [&] { ++taken; });
    room.programs.browser.received(kReady);
    room.programs.browser.received(answer);
    room.advance(14s);
    EXPECT_EQ(taken, 0);
    if (loads) room.programs.browser.received(load);
    room.advance(1ms);
    EXPECT_EQ(taken, loads);
    room.advance(1s);
    EXPECT_EQ(taken, 1);
    room.advance(15s);
    EXPECT_EQ(taken, 1) << loads;
  }
}

// Texts as a person types them into an address bar become the whole URLs the protocol takes.
TEST(AddressTest, ATextAsTypedBecomesAWholeUrl) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"http://a/b", "http://a/b"},
      {" \thttps://a/\r\n", "https://a/"},
      {"127.0.0.1:8080/x", "http://127.0.0.1:8080/x"},
      {"localhost:8080/x", "http://localhost:8080/x"},
      {"www.example.com", "http://www.example.com"},
      {"HTTP:a", "HTTP:a"},
      {"about:blank", "about:blank"},
      {"data:text/html,x", "data:text/html,x"},
      {"mailto:a@b", "mailto:a@b"},
      {"custom://x", "custom://x"},
      {"C:\\教材\\a.html", "file:///C:/教材/a.html"},
      {"d:/a.html", "file:///d:/a.html"},
      {"\\\\server\\share\\a.html", "file://server/share/a.html"},
      {"/home/a b.html", "file:///home/a b.html"},
      {"", ""},
  };
  for (const auto& [typed, url] : cases) EXPECT_EQ(devtools::Address(typed), url) << typed;
}

}  // namespace
