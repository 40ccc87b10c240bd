// What the contracts, written once for both backends, need of each backend's test program: its
// event loop and its UDP endpoints, which also play the other programs on the loopback address;
// its files and its code page.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CodePage.h"
#include "platform/DatagramPort.h"
#include "platform/Files.h"
#include "platform/HttpServer.h"
#include "platform/Resolver.h"
#include "platform/UdpEndpoint.h"
#include "unit/ScratchDir.h"

namespace harness {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Runs the backend's event loop until `condition` holds, for `limit` at most; returns the
// condition.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s);

std::unique_ptr<platform::UdpEndpoint> NewEndpoint(std::function<void()> onArrival);
platform::Resolver& TheResolver();

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
    if (sender->send(text).result != platform::SendResult::Sent)
      throw std::runtime_error("datagram not sent");
  }
}

// An endpoint whose handler reads each datagram, as the agent's does, and keeps what it read.
struct Listener {
  Listener() : endpoint(NewEndpoint([this] { onArrival(); })) {}

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

// The console's port for calls, the backend's own, not listening yet.
std::unique_ptr<platform::DatagramPort> NewDatagramPort();
// The console's web server, the backend's own, not listening yet.
std::unique_ptr<platform::HttpServer> NewHttpServer();
// The system's words when another server holds the port.
std::string RefusalOfATakenPort();
// Runs the task once, after the delay, on the UI thread from the event loop.
void RunLater(std::chrono::milliseconds delay, std::function<void()> task);
// From any thread: a PumpUntil that waits looks at its condition again.
void Wake();

platform::Files& TheFiles();
// Code page 932, as a Japanese Windows has it.
const platform::CodePage& JapaneseCodePage();
// The system's words when a folder stands where a file is to be made or replaced.
std::string RefusalOfAFolder();

// A symbolic link at `link` to `target`, as a user makes one: on Windows a Unix one, which Wine
// shows as the file it leads to (its CreateSymbolicLinkW makes nothing).
void PlantSymlink(const fs::path& link, const fs::path& target);
// `file` held as a save holds its temporary file while it writes, for as long as the result lives.
std::shared_ptr<void> HoldAsASave(const fs::path& file);

// A folder of its own for each test of the backend's files, with the target in it holding "old".
class FilesTest : public ::testing::Test {
 protected:
  std::optional<platform::FileWriteFailure> Replace(const fs::path& file) {
    return TheFiles().replace(file.string(), temporary.string(), "new");
  }
  std::string Read(const fs::path& file) const { return dir.Read(file.filename().string()); }

  const ScratchDir dir;
  const fs::path target = dir.Write("Velostrander_Child.ini", "old");
  const fs::path temporary = dir.path() / "Temp.tmp";
};

}  // namespace harness
