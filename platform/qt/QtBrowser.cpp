#include "platform/qt/QtBrowser.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/qt/QtBrowserWindow.h"
#include "platform/qt/QtCodePage.h"
#include "platform/qt/QtPlatform.h"
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

std::unique_ptr<BrowserFactory> CreateFactory() {
  return std::make_unique<QtBrowserFactory>();
}

}  // namespace

QtBrowser::QtBrowser() : window_(new QtBrowserWindow) {}

// Deleted later, as a window the user closed is: the release may come from a nested event loop
// that the page runs (a JavaScript alert), which would return into a deleted dialog.
QtBrowser::~QtBrowser() {
  if (window_) window_->retire();
}

bool QtBrowser::alive() {
  return window_ && !window_->gone();
}

// Opens what Internet Explorer opens for the same text: a URL as it stands, an address without
// a scheme ("www.example.com", "127.0.0.1:8080/page") as http, a local path as a file.
void QtBrowser::navigate(std::string_view text) {
  if (!alive()) return;
  const QString address = ToQString(text);
  const QUrl url(address, QUrl::TolerantMode);
  window_->navigate(url.scheme().isEmpty() ? QUrl::fromUserInput(address, QDir::currentPath())
                                           : url);
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
    // The system's words come in the locale's character set.
    return {nullptr, missing->path.toStdString(),
            QtCodePage().toUtf8(std::strerror(missing->error))};
  }
  return {std::make_unique<QtBrowser>(), {}, {}};
}

QtBrowsers QtWebEngineBrowsers() {
  return {&QtBrowserFactory::prepareProcess, &CreateFactory};
}

}  // namespace platform
