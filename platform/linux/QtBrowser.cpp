#include "platform/linux/QtBrowser.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/linux/PosixCodePage.h"
#include "platform/linux/QtBrowserChannel.h"
#include "platform/linux/QtText.h"

namespace platform {
namespace {

namespace channel = browser_channel;

// Where Qt WebEngine looks for the helper program that runs its pages.
QStringList HelperCandidates() {
  const QString name = QStringLiteral("/QtWebEngineProcess");
  const QString fromEnvironment = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
  if (!fromEnvironment.isEmpty()) return {fromEnvironment};
  return {QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + name,
          QCoreApplication::applicationDirPath() + name};
}

struct MissingProgram {
  QString path;
  int error;
};

// The first candidate and why it cannot be run, when none of them can.
std::optional<MissingProgram> Missing(const QStringList& candidates) {
  int firstError = 0;
  for (const QString& candidate : candidates) {
    if (access(QFile::encodeName(candidate).constData(), X_OK) == 0) return std::nullopt;
    if (firstError == 0) firstError = errno;
  }
  return MissingProgram{candidates.front(), firstError};
}

}  // namespace

QtBrowser::QtBrowser(std::unique_ptr<QProcess> program) : program_(std::move(program)) {
  QObject::connect(program_.get(), &QProcess::readyReadStandardOutput, program_.get(),
                   [this] { hear(); });
}

// The process goes with its QProcess, killed: a browser window has nothing to keep.
QtBrowser::~QtBrowser() {
  program_->disconnect();
}

bool QtBrowser::alive() {
  return program_->state() == QProcess::Running;
}

void QtBrowser::navigate(std::string_view text) {
  if (!alive()) return;
  ++navigations_;
  tell(channel::NavigateLine(ToQString(text)));
}

void QtBrowser::setVisible(bool visible) {
  tell(channel::Line("visible", channel::Switch(visible)));
}

bool QtBrowser::busy() {
  return alive() && (taken_ < navigations_ || loading_);
}

void QtBrowser::setFullScreen(bool on) {
  tell(channel::Line("fullscreen", channel::Switch(on)));
}

void QtBrowser::setToolBar(bool on) {
  tell(channel::Line("toolbar", channel::Switch(on)));
}

void QtBrowser::setMenuBar(bool on) {
  tell(channel::Line("menubar", channel::Switch(on)));
}

void QtBrowser::tell(const QByteArray& line) {
  if (alive()) program_->write(line);
}

void QtBrowser::hear() {
  while (program_->canReadLine()) {
    const channel::Message message = channel::Parse(program_->readLine());
    const QList<QByteArray> state = message.argument.split(' ');
    if (message.word != "state" || state.size() != 2) continue;
    taken_ = state[0].toUInt();
    loading_ = state[1] == channel::Switch(true);
  }
}

// Qt WebEngine aborts a program whose helper is missing: both are looked for first, so that the
// agent can say which is missing.
BrowserCreation QtBrowserFactory::create() {
  const QString program = QCoreApplication::applicationDirPath() + '/' + channel::kProgramName;
  std::optional<MissingProgram> missing = Missing({program});
  if (!missing) missing = Missing(HelperCandidates());
  auto process = std::make_unique<QProcess>();
  if (!missing) {
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(program, {});
    // Both found, what is left is the system refusing a new process, as fork() does.
    if (!process->waitForStarted()) missing = MissingProgram{program, EAGAIN};
  }
  if (missing) {
    // The system's words come in the locale's character set.
    return {nullptr, missing->path.toStdString(),
            PosixCodePage().toUtf8(std::strerror(missing->error))};
  }
  return {std::make_unique<QtBrowser>(std::move(process)), {}, {}};
}

}  // namespace platform
