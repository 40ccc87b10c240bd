#include "bench/Figures.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <thread>

namespace bench {

void Figures::print(std::ostream& out) const {
  for (const auto& [name, value] : figures_) out << name << ' ' << value << '\n';
}

double Percentile(std::vector<double> values, double percent) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(std::ceil(percent / 100.0 * values.size()));
  return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

double Microseconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double, std::micro>(duration).count();
}

void RunBesideEventLoop(const std::function<void()>& work) {
  std::thread worker([&] {
    work();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  });
  QCoreApplication::exec();
  worker.join();
}

}  // namespace bench
