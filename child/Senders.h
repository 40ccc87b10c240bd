// Which arrivals the agent obeys. Anyone on the classroom's network can send it a datagram, or
// forge the ICMP refusal of one: a refusal counts only as the answer to the agent's own call,
// just made, and with MasterOnlyx=1 a datagram only from an address of MasterComp.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "settings/ChildSettings.h"

namespace child {

class Senders {
 public:
  // Past this a refusal is no answer to the call: one comes back within a round trip.
  static constexpr std::chrono::seconds kRefusalWindow{5};
  // Lookups of MasterComp after datagrams from elsewhere are this far apart at least, so that a
  // flood of them asks the name server once a minute.
  static constexpr std::chrono::minutes kLookUpInterval{1};

  explicit Senders(platform::Platform& platform) : platform_(platform) {}

  // With the sender check on, looks MasterComp up.
  void Start(const settings::ChildSettings& settings);
  // The agent's call went out, to that address and port.
  void CallSent(const platform::Peer& to);
  // Whether the arrival is one to act on; anything else is dropped without a word.
  bool Admits(const platform::Arrival& arrival);

 private:
  bool IsOurRefusal(const std::optional<platform::Peer>& destination);
  bool IsFromMaster(const std::optional<platform::Peer>& sender);
  void LookUp();

  platform::Platform& platform_;
  struct Call {
    platform::Peer to;
    platform::Scheduler::Clock::time_point at;
  };
  std::optional<Call> lastCall_;
  bool checking_ = false;
  std::string master_;
  std::vector<std::uint32_t> masterAddresses_;
  platform::Scheduler::Clock::time_point lookedUp_;  // when the last lookup began
  bool lookingUp_ = false;
  // Lookups outlive nothing: their answer finds this gone.
  std::shared_ptr<char> lifetime_ = std::make_shared<char>();
};

}  // namespace child
