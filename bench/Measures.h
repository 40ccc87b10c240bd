// What the benchmark measures on the running agent and its real browser, each from a thread
// beside the agent's event loop and bounded in time. `port` is the agent's.
#pragma once

#include <cstdint>
#include <string>

#include "bench/Figures.h"
#include "bench/Stamps.h"

namespace bench {

// A URL datagram until the agent hears the page has loaded: the first page also starts the
// browser. Each URL is `urlPrefix` and a number of its own.
void MeasurePages(const std::string& urlPrefix, std::uint16_t port, Recorder& recorder,
                  Figures& figures);

// A "Command:FullScreen" datagram until the agent has written the message it leads to, against
// the same datagram until a bare receive loop has it; the browser is made ready first. False when
// it never was.
bool MeasureLatency(std::uint16_t port, Recorder& recorder, Figures& figures);

}  // namespace bench
