// velostrander-ctl's readers of what users and the network give it. The first byte chooses
// the reader; arguments are cut at NULs.
#include <algorithm>

#include "Fuzz.h"
#include "ctl/Arguments.h"
#include "ctl/Roster.h"
#include "ctl/Shown.h"
#include "ctl/Wire.h"

namespace {

// Messages and receipts are printed one a line, whatever bytes they quote.
bool OneLine(std::string_view text) {
  return std::none_of(text.begin(), text.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

bool Sendable(const ctl::Destination& destination) {
  return ctl::IsHost(destination.host) && destination.port != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes = fuzz::Bytes(data + 1, size - 1);
  switch (data[0] % 5) {
    case 0: {
      const auto [invocation, error] = ctl::ParseArguments(fuzz::Parts(bytes));
      fuzz::Check(OneLine(error));
      if (!error.empty() || invocation.action != ctl::Action::Send) break;
      fuzz::Check(invocation.destination ? Sendable(*invocation.destination)
                                         : !invocation.rosterFile.empty());
      break;
    }
    case 1: {
      const auto [agents, error] = ctl::ParseRoster(bytes, "roster");
      fuzz::Check(OneLine(error) && error.empty() != agents.empty());
      for (const ctl::Agent& agent : agents) {
        fuzz::Check(agent.number >= "01" && agent.number <= "30" && Sendable(agent.destination));
      }
      // What the console writes back of a roster, it reads again as it was.
      const auto again = ctl::ParseRoster(ctl::FormatRoster(agents), "again").agents;
      fuzz::Check(again.size() == agents.size());
      for (std::size_t i = 0; i < again.size() && i < agents.size(); ++i) {
        fuzz::Check(again[i].name == agents[i].name && again[i].desk == agents[i].desk &&
                    again[i].destination.host == agents[i].destination.host);
      }
      break;
    }
    case 2: {
      const std::string line = ctl::ReceiptLine({}, bytes, "192.0.2.1:5000");
      fuzz::Check(OneLine(line) && (!ctl::IsCall(bytes) || line.ends_with("192.0.2.1:5000")));
      break;
    }
    case 3: {
      const auto [destination, error] = ctl::ParseDestination(bytes, 5000);
      fuzz::Check(OneLine(error) && (!error.empty() || Sendable(destination)));
      const auto port = ctl::ParsePort(bytes);
      fuzz::Check(!port || std::to_string(*port) == bytes.substr(bytes.find_first_not_of('0')));
      break;
    }
    default:
      fuzz::Check(OneLine(ctl::Shown(bytes)));
  }
  return 0;
}
