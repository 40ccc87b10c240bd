#include "child/Senders.h"

#include <algorithm>

namespace child {

void Senders::Start(const settings::ChildSettings& settings) {
  checking_ = settings.MasterOnly;
  master_ = settings.MasterComp;
  if (checking_) LookUp();
}

void Senders::CallSent(const platform::Peer& to) {
  lastCall_ = Call{to, platform_.scheduler().now()};
}

bool Senders::Admits(const platform::Arrival& arrival) {
  switch (arrival.result) {
    case platform::ReadResult::Datagram:
      return IsFromMaster(arrival.peer);
    case platform::ReadResult::RefusedByDestination:
      return IsOurRefusal(arrival.peer);
    case platform::ReadResult::Failed:
      break;
  }
  return false;
}

// Where the system names no destination (Windows may not), the time alone tells. One call is
// refused once: a forger repeating the refusal shows no second box.
bool Senders::IsOurRefusal(const std::optional<platform::Peer>& destination) {
  const bool ours = lastCall_ && platform_.scheduler().now() - lastCall_->at <= kRefusalWindow &&
                    (!destination || *destination == lastCall_->to);
  if (ours) lastCall_.reset();
  return ours;
}

// An address of the master's may have changed since the last lookup: one from elsewhere looks
// again, once a minute at most, and is dropped meanwhile.
bool Senders::IsFromMaster(const std::optional<platform::Peer>& sender) {
  if (!checking_) return true;
  if (sender && std::ranges::find(masterAddresses_, sender->address) != masterAddresses_.end())
    return true;
  if (!lookingUp_ && platform_.scheduler().now() - lookedUp_ >= kLookUpInterval) LookUp();
  return false;
}

// A lookup that finds nothing keeps the addresses known: a name server that does not answer
// for a while must not cut the teacher off.
void Senders::LookUp() {
  lookingUp_ = true;
  lookedUp_ = platform_.scheduler().now();
  const std::weak_ptr<char> alive = lifetime_;
  platform_.resolver().lookUp(master_, [this, alive](std::vector<std::uint32_t> addresses) {
    if (alive.expired()) return;
    lookingUp_ = false;
    if (!addresses.empty()) masterAddresses_ = std::move(addresses);
  });
}

}  // namespace child
