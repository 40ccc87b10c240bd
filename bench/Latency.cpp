#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "bench/Measures.h"
#include "bench/Udp.h"

namespace bench {
namespace {

using std::chrono::milliseconds;

constexpr std::string_view kCommand = "Command:FullScreen";
// Lets the receiving thread go back to sleep, as between a teacher's clicks.
constexpr std::chrono::microseconds kGap{300};
constexpr milliseconds kSampleLimit{1000};
// The browser's start when the pages before have not started it.
constexpr milliseconds kReadyLimit{20000};
constexpr int kSamples = 2000;
constexpr int kWarmUp = 200;

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
  std::vector<double> handed, written, returned, bare;
  int lost = 0;
};

// One datagram, and when `stamps` holds one more; none when it never came.
std::optional<Clock::time_point> Sample(const UdpSocket& sender, std::uint16_t port, Stamps& stamps,
                                        Clock::time_point& sent) {
  const std::size_t expected = stamps.size() + 1;
  sent = Clock::now();
  sender.sendTo(port, kCommand);
  const auto stamp = stamps.waitFor(expected, kSampleLimit);
  std::this_thread::sleep_for(kGap);
  return stamp;
}

// Alternates the agent and the bare loop, so that whatever else the machine does weighs on both
// alike.
Latencies Alternate(std::uint16_t agentPort, Recorder& recorder, int samples) {
  const UdpSocket sender;
  BareReceiver bare;
  Latencies latencies;
  Clock::time_point sent;
  for (int i = 0; i < samples; ++i) {
    const std::size_t index = recorder.boundsWritten.size() + 1;
    if (const auto written = Sample(sender, agentPort, recorder.boundsWritten, sent)) {
      latencies.written.push_back(Microseconds(*written - sent));
      latencies.handed.push_back(Microseconds(*recorder.boundsHanded.waitFor(index, {}) - sent));
      latencies.returned.push_back(
          Microseconds(*recorder.boundsReturned.waitFor(index, {}) - sent));
    } else {
      ++latencies.lost;
    }
    if (const auto received = Sample(sender, bare.port(), bare.received(), sent)) {
      latencies.bare.push_back(Microseconds(*received - sent));
    } else {
      ++latencies.lost;
    }
  }
  return latencies;
}

void AddLatencies(const Latencies& latencies, Figures& figures) {
  const std::pair<const char*, const std::vector<double>*> series[] = {
      {"handed", &latencies.handed},
      {"written", &latencies.written},
      {"returned", &latencies.returned},
      {"bare", &latencies.bare}};
  for (const auto& [name, values] : series) {
    figures.add(std::string("latency.") + name + ".p50_us", Percentile(*values, 50));
    figures.add(std::string("latency.") + name + ".p99_us", Percentile(*values, 99));
  }
  figures.add("latency.samples", static_cast<double>(latencies.written.size()));
  figures.add("latency.lost", latencies.lost);
}

}  // namespace

bool MeasureLatency(std::uint16_t port, Recorder& recorder, Figures& figures) {
  // The browser is ready once it has shown its window: the next full-screen datagrams then lead
  // straight to their message.
  const std::size_t shown = recorder.shown.size() + 1;
  UdpSocket().sendTo(port, "Command:VisibleTrue");
  if (!recorder.shown.waitFor(shown, kReadyLimit)) return false;
  Alternate(port, recorder, kWarmUp);
  AddLatencies(Alternate(port, recorder, kSamples), figures);
  return true;
}

}  // namespace bench
