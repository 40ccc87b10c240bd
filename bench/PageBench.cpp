#include "bench/PageBench.h"

#include <thread>

#include "bench/BenchAgent.h"
#include "bench/RecordingBrowser.h"
#include "bench/Udp.h"
#include "devtools/Browsers.h"
#include "platform/linux/QtBrowserPrograms.h"
#include "platform/linux/QtScheduler.h"

namespace bench {
namespace {

using std::chrono::milliseconds;

// Longer than the agent's own bound on a page's wait, so that the agent gives up first.
constexpr milliseconds kPageLimit{20000};
constexpr milliseconds kGap{100};

struct PageTimes {
  std::vector<double> done, loaded;
  int lost = 0;
};

// The agent is done with a URL once it switched the menu bar off after the wait.
void LoadOne(const UdpSocket& sender, std::uint16_t port, Recorder& recorder,
             const std::string& url, PageTimes& times) {
  const std::size_t expected = recorder.menuBarOff.size() + 1;
  const std::size_t loadedBefore = recorder.notBusy.size();
  const auto sent = Clock::now();
  sender.sendTo(port, url);
  const auto done = recorder.menuBarOff.waitFor(expected, kPageLimit);
  std::this_thread::sleep_for(kGap);
  if (!done || recorder.notBusy.size() != loadedBefore + 1) {
    ++times.lost;
    return;
  }
  times.done.push_back(Microseconds(*done - sent) / 1000);
  times.loaded.push_back(Microseconds(*recorder.notBusy.last() - sent) / 1000);
}

PageTimes LoadPages(const PageOptions& options, std::uint16_t port, Recorder& recorder) {
  const UdpSocket sender;
  PageTimes warmUp, measured;
  int number = 0;
  for (int i = 0; i < options.warmUp; ++i) {
    LoadOne(sender, port, recorder, options.urlPrefix + std::to_string(number++), warmUp);
  }
  for (int i = 0; i < options.pages; ++i) {
    LoadOne(sender, port, recorder, options.urlPrefix + std::to_string(number++), measured);
  }
  return measured;
}

void AddPages(const PageTimes& times, Figures& figures) {
  figures.add("page.agent_done.median_ms", Percentile(times.done, 50));
  figures.add("page.agent_done.max_ms", Percentile(times.done, 100));
  figures.add("page.not_busy.median_ms", Percentile(times.loaded, 50));
  figures.add("page.samples", static_cast<double>(times.done.size()));
  figures.add("page.lost", times.lost);
}

}  // namespace

bool RunPageBench(const PageOptions& options, Figures& figures) {
  Recorder recorder;
  platform::QtBrowserPrograms programs;
  platform::QtScheduler scheduler;
  devtools::Browsers real(programs, scheduler, nullptr);
  TimedBrowserFactory browsers(real, recorder);
  BenchAgent agent(browsers);
  if (!agent.running()) return false;
  RunBesideEventLoop([&] { AddPages(LoadPages(options, agent.port(), recorder), figures); });
  return true;
}

}  // namespace bench
