#pragma once

#include <QObject>
#include <functional>

namespace platform {

// Turns the system's requests to end the program into one call on the UI thread: the signals
// SIGTERM, SIGINT and SIGHUP, and the session manager's order to quit. One per process.
class QtSystemClose final : public QObject {
 public:
  explicit QtSystemClose(std::function<void()> onRequest);
  ~QtSystemClose() override;
  QtSystemClose(const QtSystemClose&) = delete;
  QtSystemClose& operator=(const QtSystemClose&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void takeSignals();

  std::function<void()> onRequest_;
  int pipe_[2] = {-1, -1};
};

}  // namespace platform
