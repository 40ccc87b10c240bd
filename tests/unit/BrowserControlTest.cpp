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
  child::BrowserControl browser{platform.browsers(), platform.scheduler(), platform.desktop()};
  int loaded = 0;
  std::function<void()> onLoaded = [this] { ++loaded; };
};

TEST_F(BrowserControlTest, ShowPageNavigatesShowsAndWaitsUntilNotBusyOrClosed) {
  platform.busyPollsPerPage = 3;
  browser.Create();
  platform.log.clear();
  browser.ShowPage(" http://host/ページ ", onLoaded);
  EXPECT_THAT(platform.log,
              ElementsAre("browser navigate  http://host/ページ ", "browser visible true"));
  EXPECT_EQ(loaded, 0);
  EXPECT_EQ(platform.runPending(), 3);
  EXPECT_EQ(loaded, 1);
  EXPECT_FALSE(platform.browser().fullScreen);
  // Closed during the wait: the next look ends it.
  browser.ShowPage("http://a/", onLoaded);
  platform.browser().alive = false;
  EXPECT_EQ(platform.runPending(), 1);
  EXPECT_EQ(loaded, 2);
}

// A 20 ms timer that fires every 31 ms, as Windows' do: the limit is a time, not a count.
TEST_F(BrowserControlTest, APageThatNeverLoadsCountsAsLoadedAfterFifteenSeconds) {
  platform.busyPollsPerPage = 1'000'000;
  platform.timerLag = 11ms;
  browser.Create();
  browser.ShowPage("http://slow/", onLoaded);
  while (loaded == 0 && platform.runPending(1) == 1) {
    EXPECT_TRUE(loaded == 1 || platform.sinceStart() < 15s) << platform.sinceStart().count();
  }
  EXPECT_EQ(loaded, 1);
  EXPECT_GE(platform.sinceStart(), 15s);
  EXPECT_LT(platform.sinceStart(), 15s + 31ms);
}

TEST_F(BrowserControlTest, NoBrowserIsReportedOnceInTheRunAndTriedAgainWhenNeeded) {
  platform.browserFailuresLeft = 2;
  browser.Create();
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].first, "Velostrander_Childからのメッセージ");
  EXPECT_THAT(platform.messages[0].second, ::testing::HasSubstr("FakeBrowser.exe\nnot installed"));
  browser.SetFullScreen(true);  // still none: skipped silently
  browser.ShowPage("http://a/", onLoaded);
  EXPECT_EQ(loaded, 1);
  EXPECT_EQ(platform.browsersCreated, 1);
  EXPECT_EQ(platform.browser().navigated, std::vector<std::string>{"http://a/"});
  EXPECT_TRUE(platform.browser().visible);

  platform.browser().alive = false;
  platform.browserFailuresLeft = 2;
  browser.ShowPage("http://b/", onLoaded);
  browser.ShowPage("http://c/", onLoaded);
  EXPECT_EQ(loaded, 3);
  EXPECT_EQ(platform.messages.size(), 1u);
}

TEST_F(BrowserControlTest, AClosedBrowserIsCreatedAgainBeforeTheNextCommand) {
  browser.Create();
  platform.browser().alive = false;
  browser.HideMenuBar();  // not a reason to bring a browser back
  EXPECT_EQ(platform.browsersCreated, 1);
  browser.SetFullScreen(true);
  EXPECT_EQ(platform.browsersCreated, 2);
  EXPECT_TRUE(platform.browser().fullScreen);
  EXPECT_FALSE(platform.browser().visible);
  EXPECT_FALSE(platform.browser().toolBar);
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
    fake.busyPollsPerPage = c.pagePolls;
    control.Create();
    if (c.insideNavigate) fake.browser().whileNavigating = [&] { control.Release(); };
    int pageLoaded = 0;
    control.ShowPage("http://a/", [&] { ++pageLoaded; });
    control.Release();
    control.Release();
    fake.runPending();
    control.SetVisible(true);
    control.ShowPage("http://b/", [] {});
    EXPECT_EQ(pageLoaded, 1);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(fake.browsersCreated, 1);
    EXPECT_THAT(std::vector(fake.log.end() - 2, fake.log.end()),
                ElementsAre("browser visible false", "browser released"));
    EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), "browser released"), 1);
  }
}

TEST_F(BrowserControlTest, ReleaseWithoutABrowserIsSilent) {
  platform.browserFailuresLeft = 1;
  browser.Create();
  const auto logged = platform.log.size();
  browser.Release();
  EXPECT_EQ(platform.log.size(), logged);
  EXPECT_EQ(platform.messages.size(), 1u);
}

}  // namespace
