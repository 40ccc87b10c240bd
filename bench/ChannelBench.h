// The agent's command channel with a browser that only records: what the agent itself costs
// between a datagram and the browser call it leads to.
#pragma once

#include <vector>

#include "bench/Figures.h"

namespace bench {

struct ChannelOptions {
  int samples = 2000;
  int warmUp = 200;
  std::vector<int> bursts = {1000, 10000};
};

// False when the agent did not start.
bool RunChannelBench(const ChannelOptions& options, Figures& figures);

}  // namespace bench
