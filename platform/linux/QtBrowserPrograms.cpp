#include "platform/linux/QtBrowserPrograms.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/linux/PosixCodePage.h"
#include "platform/linux/PosixFolders.h"
#include "platform/linux/X11WindowManager.h"

namespace platform {
namespace {

// Where --remote-debugging-pipe has the browser read the agent's messages and write its own.
constexpr int kBrowserReads = 3, kBrowserWrites = 4;
// What a browser whose pipe has closed is given to end by itself, before it is killed: Chromium
// takes a few tenths of a second to save its profile.
constexpr int kGraceMilliseconds = 2000;

std::string SystemWords(int error) {
  // The system's words come in the locale's character set.
  return PosixCodePage().toUtf8(std::strerror(error));
}

// The user's own, kept between runs: what the browser keeps of the pages is nobody else's to read.
int MakeProfile(const std::filesystem::path& profile) {
  std::error_code error;
  std::filesystem::create_directories(profile.parent_path(), error);
  if (error) return error.value();
  if (mkdir(profile.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  return chmod(profile.c_str(), 0700) == 0 ? 0 : errno;
}

// The agent's end is one end of a socket pair rather than of pipes: a send on it can be kept from
// raising SIGPIPE when the browser has gone, which a write to a pipe cannot.
class QtBrowserProgram final : public BrowserProgram {
 public:
  QtBrowserProgram(std::unique_ptr<QProcess> process, int end, BrowserProgramEvents events)
      : process_(std::move(process)),
        pid_(static_cast<pid_t>(process_->processId())),
        end_(end),
        events_(std::move(events)),
        reading_(end, QSocketNotifier::Read),
        writing_(end, QSocketNotifier::Write) {
    writing_.setEnabled(false);
    QObject::connect(&reading_, &QSocketNotifier::activated, [this] { receive(); });
    QObject::connect(&writing_, &QSocketNotifier::activated, [this] { flush(); });
    // Helpers of its own that kept the pipe open would otherwise hide the browser's end.
    QObject::connect(process_.get(), &QProcess::finished, [this] {
      while (!closed_) receive(true);
    });
  }

  // The browser ends on its pipe's end; what is left of it after a grace, itself or its helpers
  // (which share its process group), is killed.
  ~QtBrowserProgram() override {
    process_->disconnect();
    reading_.setEnabled(false);
    writing_.setEnabled(false);
    close(end_);
    process_->waitForFinished(kGraceMilliseconds);
    kill(-pid_, SIGKILL);
    process_->waitForFinished();
  }

  QtBrowserProgram(const QtBrowserProgram&) = delete;
  QtBrowserProgram& operator=(const QtBrowserProgram&) = delete;

  void send(std::string_view bytes) override {
    if (closed_) return;
    queue_.append(bytes);
    flush();
  }

  void showWindows(bool visible, bool fullScreen) override {
    if (visible) {
      MapWindows(withdrawn_, fullScreen);
      withdrawn_.clear();
    } else {
      for (WithdrawnWindow& window : WithdrawWindowsOf(pid_)) {
        withdrawn_.push_back(std::move(window));
      }
    }
  }

 private:
  // One read a call, the notifier firing again while bytes wait. Once the browser has ended,
  // nothing more is to come after what waits.
  void receive(bool ended = false) {
    std::array<char, 65536> bytes;
    const ssize_t count = recv(end_, bytes.data(), bytes.size(), MSG_DONTWAIT);
    if (count > 0) return events_.received({bytes.data(), static_cast<size_t>(count)});
    if (count < 0 && (errno == EINTR || (errno == EAGAIN && !ended))) return;
    closed_ = true;
    queue_.clear();
    reading_.setEnabled(false);
    writing_.setEnabled(false);
    events_.closed();
  }

  // What the pipe does not take now waits for it to take more; what a gone browser no longer
  // reads is dropped, and its end reported by the reading side.
  void flush() {
    while (!queue_.empty()) {
      const ssize_t count = ::send(end_, queue_.data(), queue_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0 && errno != EAGAIN) queue_.clear();
      if (count <= 0) break;
      queue_.erase(0, static_cast<size_t>(count));
    }
    writing_.setEnabled(!queue_.empty());
  }

  std::unique_ptr<QProcess> process_;
  pid_t pid_;  // also its process group's
  int end_;
  BrowserProgramEvents events_;
  QSocketNotifier reading_;
  QSocketNotifier writing_;
  std::string queue_;
  bool closed_ = false;
  std::vector<WithdrawnWindow> withdrawn_;
};

// Runs in the new process before it becomes the browser, so calls only what is safe after fork().
// The browser gets the pipe's end as 3 and 4, and no other descriptor of the agent's (its
// sockets, its X connection): every one above is closed at exec. It dies with the agent even when
// the agent is killed outright, and leads a process group that its helpers join.
void PrepareBrowser(int end, pid_t agent) {
  const int moved = fcntl(end, F_DUPFD_CLOEXEC, kBrowserWrites + 1);
  if (moved < 0 || dup2(moved, kBrowserReads) < 0 || dup2(moved, kBrowserWrites) < 0) _exit(127);
  close_range(kBrowserWrites + 1, ~0U, CLOSE_RANGE_CLOEXEC);
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != agent) _exit(127);  // the agent died before the line above
}

}  // namespace

QtBrowserPrograms::QtBrowserPrograms(std::string path) : path_(std::move(path)) {}

BrowserProgramStart QtBrowserPrograms::start(BrowserProgramEvents events) {
  if (access(path_.c_str(), X_OK) != 0) {
    if (errno == ENOENT) return {nullptr, false, {}, {}};
    return {nullptr, true, path_, SystemWords(errno)};
  }
  const std::filesystem::path profile = OwnCacheFolder() / "browser";
  if (const int error = MakeProfile(profile)) return {nullptr, true, profile, SystemWords(error)};
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    return {nullptr, true, path_, SystemWords(errno)};
  }
  QStringList arguments;
  for (const std::string& argument : BrowserArguments(profile.native())) {
    arguments << QString::fromStdString(argument);
  }
  // X11 also under Wayland (XWayland), where the windows can be shown and hidden; a password
  // store of the browser's own, which asks for no keyring.
  arguments << "--remote-debugging-pipe"
            << "--ozone-platform=x11"
            << "--password-store=basic";
  auto process = std::make_unique<QProcess>();
  process->setStandardInputFile(QProcess::nullDevice());
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  process->setChildProcessModifier(
      [end = ends[1], agent = getpid()] { PrepareBrowser(end, agent); });
  process->start(QString::fromStdString(path_), arguments);
  close(ends[1]);
  if (!process->waitForStarted()) {
    close(ends[0]);
    return {nullptr, true, path_, process->errorString().toStdString()};
  }
  return {std::make_unique<QtBrowserProgram>(std::move(process), ends[0], std::move(events)),
          true,
          {},
          {}};
}

}  // namespace platform
