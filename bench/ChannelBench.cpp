#include "bench/ChannelBench.h"

#include <atomic>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "bench/BenchAgent.h"
#include "bench/RecordingBrowser.h"
#include "bench/Udp.h"

namespace bench {
namespace {

using std::chrono::milliseconds;

constexpr std::string_view kCommand = "Command:FullScreen";
// Lets the receiving thread go back to sleep, as between a teacher's clicks.
constexpr std::chrono::microseconds kGap{300};
constexpr milliseconds kSampleLimit{1000};
// A burst is over once nothing more has been handled for this long.
constexpr milliseconds kIdleLimit{1500};
constexpr milliseconds kBurstLimit{30000};
constexpr milliseconds kBurstPoll{5};

// A blocking receive loop on a thread of its own, stamping each datagram as it returns.
class BareReceiver {
 public:
  BareReceiver() : port_(socket_.port()), thread_([this] { loop(); }) {}
  ~BareReceiver() {
    stop_ = true;
    thread_.join();
  }
  std::uint16_t port() const { return port_; }
  Stamps& received() { return received_; }

 private:
  void loop() {
    while (!stop_) {
      if (socket_.receive(milliseconds(100))) received_.add(Clock::now());
    }
  }

  UdpSocket socket_;
  const std::uint16_t port_;
  Stamps received_;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

struct Latencies {
  std::vector<double> agent, bare;
  int lost = 0;
};

// One datagram, and the time until `stamps` holds one more; none when it never came.
std::optional<double> Sample(const UdpSocket& sender, std::uint16_t port, Stamps& stamps) {
  const std::size_t expected = stamps.size() + 1;
  const auto sent = Clock::now();
  sender.sendTo(port, kCommand);
  const auto handled = stamps.waitFor(expected, kSampleLimit);
  std::this_thread::sleep_for(kGap);
  if (!handled) return std::nullopt;
  return Microseconds(*handled - sent);
}

void Keep(std::optional<double> sample, std::vector<double>& into, int& lost) {
  if (!sample) {
    ++lost;
    return;
  }
  into.push_back(*sample);
}

// Alternates the two, so that whatever else the machine does weighs on both alike.
Latencies MeasureLatency(std::uint16_t agentPort, Stamps& agentStamps, int samples) {
  const UdpSocket sender;
  BareReceiver bare;
  Latencies latencies;
  for (int i = 0; i < samples; ++i) {
    Keep(Sample(sender, agentPort, agentStamps), latencies.agent, latencies.lost);
    Keep(Sample(sender, bare.port(), bare.received()), latencies.bare, latencies.lost);
  }
  return latencies;
}

void AddLatencies(const Latencies& latencies, Figures& figures) {
  figures.add("latency.agent.p50_us", Percentile(latencies.agent, 50));
  figures.add("latency.agent.p99_us", Percentile(latencies.agent, 99));
  figures.add("latency.bare.p50_us", Percentile(latencies.bare, 50));
  figures.add("latency.bare.p99_us", Percentile(latencies.bare, 99));
  figures.add("latency.samples", static_cast<double>(latencies.agent.size()));
  figures.add("latency.lost", latencies.lost);
}

// Distinct numbered URLs: a lost or repeated datagram shows in what the browser was handed.
std::string BurstPrefix(int count) {
  return "http://127.0.0.1:9/burst" + std::to_string(count) + "/";
}

// Waits until the whole burst is handled, or the agent has stopped making progress.
void AwaitBurst(Recorder& recorder, std::size_t target, Clock::time_point start) {
  std::size_t seen = recorder.navigated.size();
  auto progress = Clock::now();
  while (seen < target && Clock::now() - start < kBurstLimit &&
         Clock::now() - progress < kIdleLimit) {
    std::this_thread::sleep_for(kBurstPoll);
    const std::size_t now = recorder.navigated.size();
    if (now != seen) progress = Clock::now();
    seen = now;
  }
}

std::size_t HandledOfBurst(const Recorder& recorder, int count) {
  const std::string prefix = BurstPrefix(count);
  std::set<std::string> distinct;
  for (const auto& url : recorder.urls()) {
    if (url.rfind(prefix, 0) == 0) distinct.insert(url);
  }
  return distinct.size();
}

struct BurstRun {
  Clock::time_point start, sent, lastHandled;
  std::size_t handled = 0;
  long kernelDrops = 0;
};

// The URLs are made before the clock starts, so that the burst is as dense as sendto allows.
BurstRun Burst(std::uint16_t port, Recorder& recorder, int count) {
  std::vector<std::string> urls;
  for (int number = 0; number < count; ++number) {
    urls.push_back(BurstPrefix(count) + std::to_string(number));
  }
  const UdpSocket sender;
  const std::size_t before = recorder.navigated.size();
  const long dropsBefore = ReceiveBufferDrops();
  BurstRun run;
  run.start = Clock::now();
  for (const auto& url : urls) sender.sendTo(port, url);
  run.sent = Clock::now();
  AwaitBurst(recorder, before + urls.size(), run.start);
  run.handled = HandledOfBurst(recorder, count);
  run.lastHandled = recorder.navigated.last().value_or(run.start);
  run.kernelDrops = ReceiveBufferDrops() - dropsBefore;
  return run;
}

void AddBurst(const BurstRun& run, int count, Figures& figures) {
  const std::string name = "burst" + std::to_string(count);
  const double seconds = std::chrono::duration<double>(run.lastHandled - run.start).count();
  figures.add(name + ".handled", static_cast<double>(run.handled));
  figures.add(name + ".lost", count - static_cast<double>(run.handled));
  figures.add(name + ".per_second", run.handled && seconds > 0 ? run.handled / seconds : 0);
  figures.add(name + ".send_ms", Microseconds(run.sent - run.start) / 1000);
  figures.add(name + ".kernel_drops", static_cast<double>(run.kernelDrops));
}

}  // namespace

bool RunChannelBench(const ChannelOptions& options, Figures& figures) {
  Recorder recorder;
  RecordingBrowserFactory browsers(recorder);
  BenchAgent agent(browsers);
  if (!agent.running()) return false;
  RunBesideEventLoop([&] {
    MeasureLatency(agent.port(), recorder.fullScreenOn, options.warmUp);
    AddLatencies(MeasureLatency(agent.port(), recorder.fullScreenOn, options.samples), figures);
    for (const int count : options.bursts) {
      AddBurst(Burst(agent.port(), recorder, count), count, figures);
    }
  });
  return true;
}

}  // namespace bench
