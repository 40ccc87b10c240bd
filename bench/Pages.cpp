#include <thread>

#include "bench/Measures.h"
#include "bench/Udp.h"

namespace bench {
namespace {

// Longer than the agent's own bound on a page's wait, so that the agent gives up first.
constexpr std::chrono::milliseconds kPageLimit{20000};
constexpr std::chrono::milliseconds kGap{100};
constexpr int kWarmPages = 20;

// Milliseconds, or none when the agent stopped waiting before the browser said the page loaded.
std::optional<double> LoadOne(const UdpSocket& sender, std::uint16_t port, Recorder& recorder,
                              const std::string& url) {
  const std::size_t expected = recorder.loaded.size() + 1;
  const auto sent = Clock::now();
  sender.sendTo(port, url);
  const auto loaded = recorder.loaded.waitFor(expected, kPageLimit);
  std::this_thread::sleep_for(kGap);
  if (!loaded) return std::nullopt;
  return Microseconds(*loaded - sent) / 1000;
}

}  // namespace

void MeasurePages(const std::string& urlPrefix, std::uint16_t port, Recorder& recorder,
                  Figures& figures) {
  const UdpSocket sender;
  const auto cold = LoadOne(sender, port, recorder, urlPrefix + "0");
  std::vector<double> warm;
  int lost = cold ? 0 : 1;
  for (int number = 1; number <= kWarmPages; ++number) {
    const auto page = LoadOne(sender, port, recorder, urlPrefix + std::to_string(number));
    if (page) warm.push_back(*page);
    lost += page ? 0 : 1;
  }
  figures.add("page.cold_ms", cold.value_or(0));
  figures.add("page.warm.median_ms", Percentile(warm, 50));
  figures.add("page.warm.max_ms", Percentile(warm, 100));
  figures.add("page.warm.samples", static_cast<double>(warm.size()));
  figures.add("page.lost", lost);
}

}  // namespace bench
