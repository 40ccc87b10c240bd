#include "platform/linux/QtBrowserWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QWebEngineView>

#include "platform/linux/QtProgramIcon.h"

namespace platform {
namespace {

constexpr QSize kWindowedSize(1024, 768);
constexpr std::chrono::seconds kStartLimit(3);
const QStringList kSchemesWithHost{"http", "https", "ftp", "ws", "wss"};

}  // namespace

QtBrowserWindow::QtBrowserWindow() : view_(new QWebEngineView(this)) {
  setWindowIcon(ProgramIcon());
  setWindowTitle(QStringLiteral("ブラウザ"));
  setCentralWidget(view_);
  resize(kWindowedSize);
  buildToolBar();
  buildMenuBar();
  followPage();
  // The native window exists from the start, so that the window manager and assistive
  // technology see the browser before it is first shown.
  winId();
}

QtBrowserWindow::~QtBrowserWindow() {
  // The page may report its renderer's end while it is deleted with this window's children.
  view_->page()->disconnect(this);
  view_->disconnect(this);
}

void QtBrowserWindow::buildToolBar() {
  toolBar_ = addToolBar(QStringLiteral("ツール バー"));
  toolBar_->setMovable(false);
  const struct {
    QWebEnginePage::WebAction action;
    QStyle::StandardPixmap icon;
    QString text;
  } buttons[] = {
      {QWebEnginePage::Back, QStyle::SP_ArrowBack, QStringLiteral("戻る")},
      {QWebEnginePage::Forward, QStyle::SP_ArrowForward, QStringLiteral("進む")},
      {QWebEnginePage::Reload, QStyle::SP_BrowserReload, QStringLiteral("再読み込み")},
  };
  for (const auto& button : buttons) {
    QAction* action = view_->pageAction(button.action);
    action->setIcon(style()->standardIcon(button.icon));
    action->setText(button.text);
    action->setToolTip(button.text);
    toolBar_->addAction(action);
  }
  address_ = new QLineEdit(toolBar_);
  address_->setToolTip(QStringLiteral("アドレス"));
  address_->setAccessibleName(address_->toolTip());
  toolBar_->addWidget(address_);
  // What a user types is an address as a person writes it, not a URL to the letter.
  connect(address_, &QLineEdit::returnPressed, this,
          [this] { view_->load(QUrl::fromUserInput(address_->text())); });
}

void QtBrowserWindow::buildMenuBar() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
  file->addAction(QStringLiteral("閉じる(&C)"), QKeySequence::Close, this, &QWidget::close);
  QMenu* view = menuBar()->addMenu(QStringLiteral("表示(&V)"));
  view->addAction(QStringLiteral("再読み込み(&R)"), QKeySequence::Refresh, view_,
                  &QWebEngineView::reload);
  fullScreenAction_ = view->addAction(QStringLiteral("全画面表示(&F)"));
  fullScreenAction_->setShortcut(QKeySequence::FullScreen);
  fullScreenAction_->setCheckable(true);
  connect(fullScreenAction_, &QAction::triggered, this, &QtBrowserWindow::setFullScreen);
}

void QtBrowserWindow::followPage() {
  connect(view_, &QWebEngineView::titleChanged, this, &QWidget::setWindowTitle);
  connect(view_, &QWebEngineView::urlChanged, address_,
          [this](const QUrl& url) { address_->setText(url.toString()); });
  connect(view_, &QWebEngineView::loadStarted, this, [this] {
    started_ = true;
    setBusy(true);
  });
  connect(view_, &QWebEngineView::loadFinished, this, [this] { setBusy(false); });
  connect(view_->page(), &QWebEnginePage::renderProcessTerminated, this, [this] { retire(); });
}

// Busy at once: the page reports that it started loading only later. Not busy at all where no
// load will follow, which the page never reports: only the fragment differs from the page shown
// (Qt WebEngine scrolls), or the address is one that Chromium drops without a word (invalid, or
// without the host that its scheme needs). A load that has not started within kStartLimit is
// taken for one that never will, so that such an address holds the channel briefly at most.
void QtBrowserWindow::navigate(const QUrl& url) {
  const auto document = [](const QUrl& address) { return address.adjusted(QUrl::RemoveFragment); };
  const bool hostless = url.host().isEmpty() && kSchemesWithHost.contains(url.scheme());
  const bool loads =
      url.isValid() && !hostless && (!url.hasFragment() || document(url) != document(view_->url()));
  started_ = false;
  view_->load(url);
  setBusy(loads);
  if (!loads) return;
  QTimer::singleShot(kStartLimit, this, [this, navigation = ++navigations_] {
    if (navigation == navigations_ && !started_) setBusy(false);
  });
}

void QtBrowserWindow::setBusy(bool busy) {
  busy_ = busy;
  if (busyChanged_) busyChanged_();
}

// A hidden window keeps the state and takes it on when it is shown.
void QtBrowserWindow::setFullScreen(bool on) {
  setWindowState(windowState().setFlag(Qt::WindowFullScreen, on));
}

void QtBrowserWindow::setToolBarShown(bool shown) {
  toolBar_->setVisible(shown);
}

void QtBrowserWindow::setMenuBarShown(bool shown) {
  menuBar()->setVisible(shown);
}

void QtBrowserWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  retire();
}

void QtBrowserWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) fullScreenAction_->setChecked(isFullScreen());
  QMainWindow::changeEvent(event);
}

void QtBrowserWindow::retire() {
  hide();
  deleteLater();
}

}  // namespace platform
