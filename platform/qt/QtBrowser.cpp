#include "platform/qt/QtBrowser.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QUrl>
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

// Qt WebEngine aborts the whole program when its helper is missing; this says so in time.
std::optional<std::string> MissingHelper() {
  const QStringList candidates = HelperCandidates();
  for (const QString& candidate : candidates) {
    if (QFileInfo(candidate).isExecutable()) return std::nullopt;
  }
  return "Qt WebEngine のプログラム " + candidates.front().toStdString() + " が見つかりません。";
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
  if (auto missing = MissingHelper()) return {nullptr, std::move(*missing)};
  return {std::make_unique<QtBrowser>(), {}};
}

}  // namespace platform
