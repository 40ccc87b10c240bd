#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "child/BrowserControl.h"
#include "fake/FakePlatform.h"

namespace {

using ::testing::ElementsAre;

class BrowserControlTest : public ::testing::Test {
 protected:
  fake::FakeDesktop desktop;
  fake::FakeScheduler scheduler;
  fake::FakeBrowserFactory factory{desktop.log};
  child::BrowserControl browser{factory, scheduler, desktop};
  int loaded = 0;
  std::function<void()> onLoaded = [this] { ++loaded; };
};

TEST_F(BrowserControlTest, CreatesAHiddenBrowserWithoutFullScreenToolBarOrMenuBar) {
  browser.Create();
  EXPECT_THAT(desktop.log, ElementsAre("browser created", "browser fullscreen false",
                                       "browser toolbar false", "browser menubar false"));
  EXPECT_FALSE(factory.browser().visible);
}

TEST_F(BrowserControlTest, ShowPageNavigatesShowsAndWaitsUntilNotBusy) {
  factory.busyPollsPerPage = 3;
  browser.Create();
  desktop.log.clear();
  browser.ShowPage(" http://host/ページ ", onLoaded);
  EXPECT_THAT(desktop.log,
              ElementsAre("browser navigate  http://host/ページ ", "browser visible true"));
  EXPECT_EQ(loaded, 0);
  EXPECT_EQ(scheduler.runPending(), 3);
  EXPECT_EQ(loaded, 1);
  EXPECT_FALSE(factory.browser().fullScreen);
}

TEST_F(BrowserControlTest, APageThatNeverLoadsCountsAsLoadedAfterTheBound) {
  factory.busyPollsPerPage = 1'000'000;
  browser.Create();
  browser.ShowPage("http://slow/", onLoaded);
  EXPECT_EQ(scheduler.runPending(), child::BrowserControl::kMaxPolls);
  EXPECT_EQ(loaded, 1);
}

TEST_F(BrowserControlTest, AFailedCreationIsReportedOnceAndTriedAgainWhenNeeded) {
  factory.failuresLeft = 2;
  browser.Create();
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_NE(desktop.messages[0].second.find("no browser installed"), std::string::npos);
  browser.SetFullScreen(true);  // still none: skipped silently
  EXPECT_EQ(desktop.messages.size(), 1u);
  browser.ShowPage("http://a/", onLoaded);
  EXPECT_EQ(loaded, 1);
  EXPECT_EQ(factory.created, 1);
  EXPECT_EQ(factory.browser().navigated, std::vector<std::string>{"http://a/"});
  EXPECT_TRUE(factory.browser().visible);
}

TEST_F(BrowserControlTest, ABrowserThatCannotBeBroughtBackIsReportedOnce) {
  browser.Create();
  factory.browser().alive = false;
  factory.failuresLeft = 2;
  browser.ShowPage("http://a/", onLoaded);
  browser.ShowPage("http://b/", onLoaded);
  EXPECT_EQ(loaded, 2);
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].first, "Velostrander_Childからのメッセージ");
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

TEST_F(BrowserControlTest, ReleaseHidesDropsAndIsSilentWhenRepeated) {
  browser.Create();
  browser.ShowPage("http://a/", onLoaded);
  desktop.log.clear();
  browser.Release();
  browser.Release();
  EXPECT_THAT(desktop.log, ElementsAre("browser visible false", "browser released"));
  browser.SetVisible(true);  // nothing comes back after shutdown
  EXPECT_EQ(factory.created, 1);
}

TEST_F(BrowserControlTest, ReleasingDuringTheWaitLetsTheWaitEnd) {
  factory.busyPollsPerPage = 100;
  browser.Create();
  browser.ShowPage("http://a/", onLoaded);
  browser.Release();
  scheduler.runPending();
  EXPECT_EQ(loaded, 1);
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(BrowserControlTest, ReleaseWithoutABrowserIsSilent) {
  factory.failuresLeft = 1;
  browser.Create();
  const auto logged = desktop.log.size();
  browser.Release();
  EXPECT_EQ(desktop.log.size(), logged);
  EXPECT_EQ(desktop.messages.size(), 1u);
}

}  // namespace
