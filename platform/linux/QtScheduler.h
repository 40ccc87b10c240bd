#pragma once

#include <QObject>

#include "platform/Scheduler.h"

namespace platform {

// Tasks still waiting when the scheduler is destroyed never run.
class QtScheduler final : public Scheduler {
 public:
  void runLater(std::chrono::milliseconds delay, std::function<void()> task) override;

 private:
  QObject context_;
};

}  // namespace platform
