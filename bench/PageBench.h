// URL datagrams into the agent with its real browser: how long until the agent has the page.
#pragma once

#include <string>

#include "bench/Figures.h"

namespace bench {

struct PageOptions {
  std::string urlPrefix;  // a small page; each URL gets a number of its own after it
  int pages = 11;
  int warmUp = 2;  // the first pages also start the browser's processes
};

// False when the agent did not start.
bool RunPageBench(const PageOptions& options, Figures& figures);

}  // namespace bench
