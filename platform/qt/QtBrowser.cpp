#include "platform/qt/QtBrowser.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/qt/QtBrowserWindow.h"
#include "platform/qt/QtText.h"

namespace platform {
namespace {

void AppendChromiumFlag(const QByteArray& flag) {
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (!flags.isEmpty()) flags += ' ';
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + flag);
}

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

// Qt WebEngine aborts the whole program when its helper is missing; this finds out in time.
std::optional<MissingProgram> MissingHelper() {
  const QStringList candidates = HelperCandidates();
  int firstError = 0;
  for (const QString& candidate : candidates) {
    if (access(QFile::encodeName(candidate).constData(), X_OK) == 0) return std::nullopt;
    if (firstError == 0) firstError = errno;
  }
  return MissingProgram{candidates.front(), firstError};
}

}  // namespace

QtBrowser::QtBrowser() : window_(new QtBrowserWindow) {}

QtBrowser::~QtBrowser() {
  delete window_.data();
}

bool QtBrowser::alive() {
  return window_ && !window_->gone();
}

// QUrl in its tolerant mode takes the text as it stands; a text that is no URL fails to load.
void QtBrowser::navigate(std::string_view url) {
  if (alive()) window_->navigate(QUrl(ToQString(url)));
}

void QtBrowser::setVisible(bool visible) {
  if (alive()) window_->setVisible(visible);
}

bool QtBrowser::busy() {
  return alive() && window_->busy();
}

void QtBrowser::setFullScreen(bool on) {
  if (alive()) window_->setFullScreen(on);
}

void QtBrowser::setToolBar(bool on) {
  if (alive()) window_->setToolBarShown(on);
}

void QtBrowser::setMenuBar(bool on) {
  if (alive()) window_->setMenuBarShown(on);
}

// Chromium will not run its sandbox for root, and exits at once when asked to.
void QtBrowserFactory::prepareProcess() {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  if (geteuid() == 0) AppendChromiumFlag("--no-sandbox");
}

BrowserCreation QtBrowserFactory::create() {
  if (const auto missing = MissingHelper()) {
    return {nullptr, missing->path.toStdString(), std::strerror(missing->error)};
  }
  return {std::make_unique<QtBrowser>(), {}, {}};
}

}  // namespace platform
