// The Qt side of the endpoint harness, and the test program's main.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <string>

#include "contract/Harness.h"
#include "platform/linux/HttplibHttpServer.h"
#include "platform/linux/PosixCodePage.h"
#include "platform/linux/PosixFiles.h"
#include "platform/linux/PosixResolver.h"
#include "platform/linux/PosixUdpEndpoint.h"

namespace harness {

// Looks again after every pass of the event loop, so that a burst of events is not paced by
// pauses between the looks.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  bool expired = false;
  QTimer deadline;  // also wakes the last wait up
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, [&] { expired = true; });
  deadline.start(limit);
  while (!condition()) {
    if (expired) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

platform::Resolver& TheResolver() {
  static platform::PosixResolver resolver;
  return resolver;
}

std::unique_ptr<platform::UdpEndpoint> NewEndpoint(std::function<void()> onArrival) {
  return platform::PosixNetwork().createUdpEndpoint(std::move(onArrival));
}

platform::Files& TheFiles() {
  static const platform::PosixCodePage codePage;
  static platform::PosixFiles files(codePage);
  return files;
}

const platform::CodePage& JapaneseCodePage() {
  static const platform::PosixCodePage codePage("CP932");
  return codePage;
}

std::string RefusalOfAFolder() {
  return std::strerror(EISDIR);
}

std::unique_ptr<platform::HttpServer> NewHttpServer() {
  return std::make_unique<platform::HttplibHttpServer>();
}

std::string RefusalOfATakenPort() {
  return std::strerror(EADDRINUSE);
}

void RunLater(std::chrono::milliseconds delay, std::function<void()> task) {
  QTimer::singleShot(delay, QCoreApplication::instance(), std::move(task));
}

void Wake() {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
}

void PlantSymlink(const fs::path& link, const fs::path& target) {
  fs::create_symlink(target, link);
}

std::shared_ptr<void> HoldAsASave(const fs::path& file) {
  const int held = open(file.c_str(), O_RDWR | O_CLOEXEC);
  if (held < 0 || flock(held, LOCK_EX | LOCK_NB) != 0) throw std::runtime_error("not held");
  return {nullptr, [held](void*) { close(held); }};
}

}  // namespace harness

// The endpoint and the scheduler need the application's event loop, and the windows its widgets,
// as in the agent; off screen, also where the tests are only listed.
int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
