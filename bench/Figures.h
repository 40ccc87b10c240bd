// What a benchmark found: named numbers, printed one a line for the script that tabulates them.
#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace bench {

class Figures {
 public:
  void add(std::string name, double value) { figures_.emplace_back(std::move(name), value); }
  void print(std::ostream& out) const;

 private:
  std::vector<std::pair<std::string, double>> figures_;
};

// Nearest rank; 0 for no values.
double Percentile(std::vector<double> values, double percent);

double Microseconds(std::chrono::steady_clock::duration duration);

// Runs `work` on a thread of its own while the UI thread runs the event loop, which ends when
// the work is done. The work must bound itself in time.
void RunBesideEventLoop(const std::function<void()>& work);

}  // namespace bench
