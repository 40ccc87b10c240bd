// The agent's browser on Linux: a Qt WebEngine window in a program of its own, as Internet
// Explorer is on Windows. A page engine that dies, or whose processes are killed, cannot start
// pages again in the program that ran it; the agent only loses this program, and starts another
// for its next page. Driven over its standard input (QtBrowserChannel.h); ends once its window
// has gone or the agent has.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QSocketNotifier>
#include <QUrl>
#include <cerrno>
#include <cstdlib>

#include "platform/linux/QtBrowserChannel.h"
#include "platform/linux/QtBrowserWindow.h"

namespace {

namespace channel = platform::browser_channel;

class Host {
 public:
  explicit Host(platform::QtBrowserWindow* window)
      : window_(window), input_(STDIN_FILENO, QSocketNotifier::Read) {
    window_->setBusyHandler([this] { Tell(); });
    QObject::connect(window_, &QObject::destroyed, qApp, &QCoreApplication::quit);
    QObject::connect(&input_, &QSocketNotifier::activated, [this] { Read(); });
  }

 private:
  // The agent gone, there is no one left to show pages for: the end is immediate, also from
  // within a page's own dialog.
  void Read() {
    char buffer[4096];
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (got <= 0) std::_Exit(0);
    pending_.append(buffer, got);
    for (qsizetype end; (end = pending_.indexOf('\n')) >= 0; pending_.remove(0, end + 1)) {
      Obey(channel::Parse(pending_.left(end)));
    }
  }

  void Obey(const channel::Message& message) {
    if (!window_) return;
    const bool on = message.argument == channel::Switch(true);
    if (message.word == "navigate") {
      ++navigations_;
      window_->navigate(
          ToUrl(QString::fromUtf8(QByteArray::fromPercentEncoding(message.argument))));
    } else if (message.word == "visible") {
      window_->setVisible(on);
    } else if (message.word == "fullscreen") {
      window_->setFullScreen(on);
    } else if (message.word == "toolbar") {
      window_->setToolBarShown(on);
    } else if (message.word == "menubar") {
      window_->setMenuBarShown(on);
    }
  }

  // Opens what Internet Explorer opens for the same text: a URL as it stands, an address without
  // a scheme ("www.example.com", "127.0.0.1:8080/page") as http, a local path as a file.
  static QUrl ToUrl(const QString& text) {
    const QUrl url(text, QUrl::TolerantMode);
    return url.scheme().isEmpty() ? QUrl::fromUserInput(text, QDir::currentPath()) : url;
  }

  // Once the agent knows that this has taken its every navigation, it reads the window's own
  // busy state.
  void Tell() const {
    const QByteArray line = channel::Line(
        "state", QByteArray::number(navigations_) + ' ' + channel::Switch(window_->busy()));
    [[maybe_unused]] const ssize_t written = write(STDOUT_FILENO, line.constData(), line.size());
  }

  QPointer<platform::QtBrowserWindow> window_;
  QSocketNotifier input_;
  QByteArray pending_;
  unsigned navigations_ = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // Chromium will not run its sandbox for root, and exits at once when asked to.
  if (geteuid() == 0) {
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + (flags.isEmpty() ? "" : " ") + "--no-sandbox");
  }
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  Host host(new platform::QtBrowserWindow);
  return QApplication::exec();
}
