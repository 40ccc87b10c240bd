// What the UDP endpoint's contract needs of each backend's test program: its event loop and its
// endpoints, which also play the other programs on the loopback address. The
// contract is written once and runs on both backends: under GoogleTest on Linux, under the
// small self-check runner on Windows, where no build of a test framework is at hand.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UdpEndpoint.h"

#ifdef _WIN32
#include "windows/SelfCheck.h"
#define ENDPOINT_TEST(name) SELFCHECK_TEST(name)
#else
#include <gtest/gtest.h>
#define ENDPOINT_TEST(name) TEST(UdpEndpointContract, name)
#define CHECK(condition) EXPECT_TRUE(condition)
#endif

namespace harness {

using namespace std::chrono_literals;

// Runs the backend's event loop until `condition` holds, for `limit` at most; returns the
// condition.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s);

std::unique_ptr<platform::UdpEndpoint> NewEndpoint(std::function<void()> onArrival);

// A port that nothing holds at the moment, low enough for the settings file's signed 16-bit
// field.
inline std::uint16_t UnusedPort() {
  std::random_device random;
  std::uniform_int_distribution<int> ports(20000, 32767);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto port = static_cast<std::uint16_t>(ports(random));
    if (NewEndpoint([] {})->bind(port) == platform::BindResult::Bound) return port;
  }
  throw std::runtime_error("no unused UDP port");
}

// Each text as one datagram to 127.0.0.1, as another program sends it.
inline void Send(std::uint16_t port, const std::vector<std::string>& texts) {
  const auto sender = NewEndpoint([] {});
  sender->setRemoteHost("127.0.0.1");
  sender->setRemotePort(port);
  for (const auto& text : texts) {
    if (sender->send(text) != platform::SendResult::Sent)
      throw std::runtime_error("datagram not sent");
  }
}

using EndpointMaker = std::function<std::unique_ptr<platform::UdpEndpoint>(std::function<void()>)>;

// An endpoint whose handler reads each datagram, as the agent's does, and keeps what it read.
struct Listener {
  explicit Listener(const EndpointMaker& make = NewEndpoint)
      : endpoint(make([this] { onArrival(); })) {}

  std::uint16_t bind() {
    const std::uint16_t port = UnusedPort();
    return endpoint->bind(port) == platform::BindResult::Bound ? port : 0;
  }
  void onArrival() {
    arrivals.push_back(endpoint->read());
    if (then) then();
  }
  bool waitFor(std::size_t count) {
    return PumpUntil([&] { return arrivals.size() >= count; });
  }
  // Each datagram's payload, or what else the read gave.
  std::vector<std::string> payloads() const {
    std::vector<std::string> payloads;
    for (const auto& arrival : arrivals) {
      payloads.push_back(arrival.result == platform::ReadResult::Datagram ? arrival.bytes
                         : arrival.result == platform::ReadResult::RefusedByDestination
                             ? "(refused)"
                             : "(failed)");
    }
    return payloads;
  }

  std::unique_ptr<platform::UdpEndpoint> endpoint;
  std::vector<platform::Arrival> arrivals;
  std::function<void()> then;  // runs in the handler, after the read
};

#ifndef _WIN32
// Bytes the kernel still holds for the IPv4 UDP socket bound to `port`, its error reports
// included: 0 once its owner has taken everything.
std::size_t HeldByKernel(std::uint16_t port);
#endif

inline std::vector<std::string> Numbered(int count) {
  std::vector<std::string> numbered;
  for (int number = 0; number < count; ++number) numbered.push_back(std::to_string(number));
  return numbered;
}

// Sends one datagram more; true when the listener then has read exactly `expected` and that
// one, in order: nothing was lost, doubled or left behind.
inline bool ReadExactly(Listener& listener, std::uint16_t port, std::vector<std::string> expected) {
  Send(port, {"last"});
  expected.push_back("last");
  return listener.waitFor(expected.size()) && listener.payloads() == expected;
}

}  // namespace harness
