#include <unistd.h>

#include <array>
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

// What the agent writes for kCommand, as long as the agent's message.
constexpr std::string_view kMessage =
    R"({"id":1000,"method":"Browser.setWindowBounds","params":{"bounds":{"windowState":)"
    R"("fullscreen"},"windowId":1234567890}})";

// A receive loop on a thread of its own, stamping each datagram as it is read: the bare loop
// blocks in recvfrom. The others then write the agent's message to a pipe that a thread of their
// own waits on, as the browser's reader does, and stamp it written as the agent's send is
// stamped: the floor of any agent whose browser is a program apart, since the write has to wake
// that reader; the polled one waits in poll() first, as an event loop does.
class ReceiveLoop {
 public:
  enum class Kind { Bare, Piped, Polled };
  explicit ReceiveLoop(Kind kind) : kind_(kind), port_(socket_.port()) {
    if (kind != Kind::Bare && pipe(pipe_) == 0) reader_ = std::thread([this] { drain(); });
    thread_ = std::thread([this] { loop(); });
  }
  ~ReceiveLoop() {
    stop_ = true;
    thread_.join();
    if (!reader_.joinable()) return;
    close(pipe_[1]);  // ends the reader's wait
    reader_.join();
    close(pipe_[0]);
  }
  std::uint16_t port() const { return port_; }
  Stamps& stamps() { return stamps_; }

 private:
  void loop() {
    while (!stop_) {
      if (!socket_.receive(milliseconds(100), kind_ == Kind::Polled)) continue;
      auto stamp = Clock::now();
      if (reader_.joinable()) {
        const auto ran = ThreadTime();
        if (write(pipe_[1], kMessage.data(), kMessage.size()) < 0) continue;
        stamp += ThreadTime() - ran;
      }
      stamps_.add(stamp);
    }
  }
  void drain() {
    std::array<char, 4096> buffer;
    while (read(pipe_[0], buffer.data(), buffer.size()) > 0) {
    }
  }

  const Kind kind_;
  UdpSocket socket_;
  const std::uint16_t port_;
  Stamps stamps_;
  std::atomic<bool> stop_ = false;
  int pipe_[2] = {-1, -1};
  std::thread reader_;
  std::thread thread_;
};

struct Latencies {
  std::vector<double> handed, written, returned, bare, piped, polled;
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

// Alternates the agent and the receive loops, so that whatever else the machine does weighs on
// all alike.
Latencies Alternate(std::uint16_t agentPort, Recorder& recorder, int samples) {
  const UdpSocket sender;
  Latencies latencies;
  ReceiveLoop bare(ReceiveLoop::Kind::Bare), piped(ReceiveLoop::Kind::Piped),
      polled(ReceiveLoop::Kind::Polled);
  const std::pair<ReceiveLoop*, std::vector<double>*> loops[] = {
      {&bare, &latencies.bare}, {&piped, &latencies.piped}, {&polled, &latencies.polled}};
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
    for (const auto& [loop, series] : loops) {
      if (const auto stamp = Sample(sender, loop->port(), loop->stamps(), sent)) {
        series->push_back(Microseconds(*stamp - sent));
      } else {
        ++latencies.lost;
      }
    }
  }
  return latencies;
}

void AddLatencies(const Latencies& latencies, Figures& figures) {
  const std::pair<const char*, const std::vector<double>*> series[] = {
      {"handed", &latencies.handed},     {"written", &latencies.written},
      {"returned", &latencies.returned}, {"bare", &latencies.bare},
      {"piped", &latencies.piped},       {"polled", &latencies.polled}};
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
