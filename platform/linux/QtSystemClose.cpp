#include "platform/linux/QtSystemClose.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <utility>

namespace platform {
namespace {

constexpr std::array kTerminationSignals{SIGTERM, SIGINT, SIGHUP};

// The write end of the pipe that wakes the event loop; the only state the handler touches.
volatile std::sig_atomic_t wakeDescriptor = -1;

void OnTerminationSignal(int) {
  const int savedErrno = errno;
  const char byte = 0;
  // A full pipe already holds a wake-up, so a failed write loses nothing.
  [[maybe_unused]] const auto written = write(wakeDescriptor, &byte, 1);
  errno = savedErrno;
}

using Handler = void (*)(int);

// Replaces `from` only: a signal that the agent was started with ignored (by nohup, say) stays
// ignored.
void Handle(int signal, Handler from, Handler to) {
  struct sigaction action {};
  sigaction(signal, nullptr, &action);
  if (action.sa_handler != from) return;
  action.sa_handler = to;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal, &action, nullptr);
}

}  // namespace

QtSystemClose::QtSystemClose(std::function<void()> onRequest) : onRequest_(std::move(onRequest)) {
  QCoreApplication::instance()->installEventFilter(this);
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this] { takeSignals(); });
  wakeDescriptor = pipe_[1];
  for (const int signal : kTerminationSignals) Handle(signal, SIG_DFL, OnTerminationSignal);
}

QtSystemClose::~QtSystemClose() {
  for (const int signal : kTerminationSignals) Handle(signal, OnTerminationSignal, SIG_DFL);
  wakeDescriptor = -1;
  for (const int end : pipe_) {
    if (end >= 0) close(end);
  }
}

void QtSystemClose::takeSignals() {
  std::array<char, 64> bytes;
  while (read(pipe_[0], bytes.data(), bytes.size()) > 0) {
  }
  onRequest_();
}

// The session manager's "die" arrives as a Quit event to the application. Nothing else sends
// one here: the backend ends its loop with exit(), and only once no window is loaded.
bool QtSystemClose::eventFilter(QObject* watched, QEvent* event) {
  if (watched != QCoreApplication::instance() || event->type() != QEvent::Quit) return false;
  onRequest_();
  return true;
}

}  // namespace platform
