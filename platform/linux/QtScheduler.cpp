#include "platform/linux/QtScheduler.h"

#include <QTimer>
#include <utility>

namespace platform {

void QtScheduler::runLater(std::chrono::milliseconds delay, std::function<void()> task) {
  QTimer::singleShot(delay, &context_, std::move(task));
}

}  // namespace platform
