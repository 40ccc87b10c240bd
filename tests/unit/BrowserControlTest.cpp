#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "child/BrowserControl.h"
#include "fake/FakePlatform.h"

namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

class BrowserControlTest : public ::testing::Test {
 protected:
  fake::FakePlatform platform;
  fake::FakeBrowserFactory& factory = platform.browsers();
  fake::FakeScheduler& scheduler = platform.scheduler();
  fake::FakeDesktop& desktop = platform.desktop();
  child::BrowserControl browser{factory, scheduler, desktop};
  int loaded = 0;
  std::function<void()> onLoaded = [this] { ++loaded; };
};

TEST_F(BrowserControlTest, ShowPageNavigatesShowsAndWaitsUntilNotBusy) {
  factory.busyPollsPerPage = 3;
  browser.Create();
  platform.log.clear();
  browser.ShowPage(" http://host/ページ ", onLoaded);
  EXPECT_THAT(platform.log,
              ElementsAre("browser navigate  http://host/ページ ", "browser visible true"));
  EXPECT_EQ(loaded, 0);
  EXPECT_EQ(scheduler.runPending(), 3);
  EXPECT_EQ(loaded, 1);
  EXPECT_FALSE(factory.browser().fullScreen);
}

// A 20 ms timer that fires every 31 ms, as Windows' do: the limit is a time, not a count.
TEST_F(BrowserControlTest, APageThatNeverLoadsCountsAsLoadedAfterFifteenSeconds) {
  factory.busyPollsPerPage = 1'000'000;
  scheduler.lag = 11ms;
  browser.Create();
  browser.ShowPage("http://slow/", onLoaded);
  while (loaded == 0 && scheduler.runPending(1) == 1) {
    EXPECT_TRUE(loaded == 1 || scheduler.sinceStart() < 15s) << scheduler.sinceStart().count();
  }
  EXPECT_EQ(loaded, 1);
  EXPECT_GE(scheduler.sinceStart(), 15s);
  EXPECT_LT(scheduler.sinceStart(), 15s + 31ms);
}

TEST_F(BrowserControlTest, NoBrowserIsReportedOnceInTheRunAndTriedAgainWhenNeeded) {
  factory.failuresLeft = 2;
  browser.Create();
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].first, "Velostrander_Childからのメッセージ");
  EXPECT_THAT(desktop.messages[0].second, ::testing::HasSubstr("FakeBrowser.exe\nnot installed"));
  browser.SetFullScreen(true);  // still none: skipped silently
  browser.ShowPage("http://a/", onLoaded);
  EXPECT_EQ(loaded, 1);
  EXPECT_EQ(factory.created, 1);
  EXPECT_EQ(factory.browser().navigated, std::vector<std::string>{"http://a/"});
  EXPECT_TRUE(factory.browser().visible);

  factory.browser().alive = false;
  factory.failuresLeft = 2;
  browser.ShowPage("http://b/", onLoaded);
  browser.ShowPage("http://c/", onLoaded);
  EXPECT_EQ(loaded, 3);
  EXPECT_EQ(desktop.messages.size(), 1u);
}

TEST_F(BrowserControlTest, AClosedBrowserIsCreatedAgainBeforeTheNextCommand) {
  browser.Create();
  factory.browser().alive = false;
  browser.HideMenuBar();  // not a reason to bring a browser back
  EXPECT_EQ(factory.created, 1);
  browser.SetFullScreen(true);
  EXPECT_EQ(factory.created, 2);
  EXPECT_TRUE(factory.browser().fullScreen);
  EXPECT_FALSE(factory.browser().visible);
  EXPECT_FALSE(factory.browser().toolBar);
}

TEST_F(BrowserControlTest, ClosingTheBrowserDuringTheWaitEndsTheWait) {
  factory.busyPollsPerPage = 100;
  browser.Create();
  browser.ShowPage("http://a/", onLoaded);
  factory.browser().alive = false;
  scheduler.runPending();
  EXPECT_EQ(loaded, 1);
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
    child::BrowserControl control{fake.browsers(), fake.scheduler(), fake.desktop()};
    fake.browsers().busyPollsPerPage = c.pagePolls;
    control.Create();
    if (c.insideNavigate) fake.browsers().browser().whileNavigating = [&] { control.Release(); };
    int pageLoaded = 0;
    control.ShowPage("http://a/", [&] { ++pageLoaded; });
    control.Release();
    control.Release();
    fake.scheduler().runPending();
    control.SetVisible(true);
    control.ShowPage("http://b/", [] {});
    EXPECT_EQ(pageLoaded, 1);
    EXPECT_TRUE(fake.desktop().messages.empty());
    EXPECT_EQ(fake.browsers().created, 1);
    EXPECT_THAT(std::vector(fake.log.end() - 2, fake.log.end()),
                ElementsAre("browser visible false", "browser released"));
    EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), "browser released"), 1);
  }
}

TEST_F(BrowserControlTest, ReleaseWithoutABrowserIsSilent) {
  factory.failuresLeft = 1;
  browser.Create();
  const auto logged = platform.log.size();
  browser.Release();
  EXPECT_EQ(platform.log.size(), logged);
  EXPECT_EQ(desktop.messages.size(), 1u);
}

}  // namespace
