#include "platform/linux/QtWindow.h"

#include <QComboBox>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <limits>
#include <utility>

#include "platform/linux/QtDesktop.h"
#include "platform/linux/QtFont.h"
#include "platform/linux/QtProgramIcon.h"
#include "platform/linux/QtText.h"
#include "platform/linux/X11WindowManager.h"

namespace platform {
namespace {

// Device-independent pixels: with Qt's high-DPI scaling the logical DPI is what one of them
// stands for.
PixelRect ToPixels(const Geometry& twips, const QScreen& screen) {
  return TwipsToPixels(twips, screen.logicalDotsPerInchX(), screen.logicalDotsPerInchY());
}

QRect ToQRect(const PixelRect& pixels) {
  return QRect(pixels.left, pixels.top, pixels.width, pixels.height);
}

Qt::WindowFlags FlagsFor(FrameStyle frame) {
  if (frame == FrameStyle::None) return Qt::Window | Qt::FramelessWindowHint;
  return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
         Qt::WindowCloseButtonHint;
}

// Drawn on the form rather than a control of its own: a press on it is one on the form's body.
class LineWidget final : public QWidget {
 public:
  LineWidget(QWidget* form, QPoint from, QPoint to, bool etched)
      : QWidget(form), etched_(etched), across_(from.x() == to.x() ? QPoint(1, 0) : QPoint(0, 1)) {
    // Inclusive of both ends; an etched line's white half lies beside it.
    QRect area = QRect(from, to).normalized();
    if (etched_) area.setBottomRight(area.bottomRight() + across_);
    setGeometry(area);
    from_ = from - area.topLeft();
    to_ = to - area.topLeft();
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    if (!etched_) return draw(painter, palette().color(QPalette::WindowText), {});
    draw(painter, palette().color(QPalette::Dark), {});
    draw(painter, palette().color(QPalette::Light), across_);
  }

 private:
  void draw(QPainter& painter, const QColor& colour, QPoint offset) {
    // A cosmetic pen with square caps covers both end points.
    painter.setPen(QPen(colour, 0, Qt::SolidLine, Qt::SquareCap));
    painter.drawLine(from_ + offset, to_ + offset);
  }

  const bool etched_;
  const QPoint across_;
  QPoint from_, to_;
};

QWidget* CreateControl(const ControlSpec& control, const PixelRect& at, QWidget* body) {
  const QString caption = ToQString(control.caption);
  switch (control.kind) {
    case ControlKind::Line:
    case ControlKind::EtchedLine:
      return new LineWidget(body, {at.left, at.top}, {at.left + at.width, at.top + at.height},
                            control.kind == ControlKind::EtchedLine);
    case ControlKind::Button: {
      auto* button = new QPushButton(caption, body);
      // Return presses the focused button, as in a Windows dialog box; Qt does so only in its
      // own.
      button->setAutoDefault(true);
      button->setGeometry(ToQRect(at));
      return button;
    }
    case ControlKind::TextBox: {
      auto* box = new QLineEdit(caption, body);
      // Qt would cut the text at 32767 characters.
      box->setMaxLength(std::numeric_limits<int>::max());
      box->setGeometry(ToQRect(at));
      return box;
    }
    case ControlKind::DropDownList: {
      auto* list = new QComboBox(body);
      list->setGeometry(ToQRect(at));
      return list;
    }
    case ControlKind::TextView: {
      auto* view = new QPlainTextEdit(caption, body);
      view->setReadOnly(true);
      // A reader tabs past it to the window's other controls.
      view->setTabChangesFocus(true);
      view->setGeometry(ToQRect(at));
      return view;
    }
    case ControlKind::Label:
    case ControlKind::ProgramIcon:
      break;
  }
  auto* label = new QLabel(caption, body);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  if (control.kind == ControlKind::ProgramIcon) {
    const QIcon icon = ProgramIcon();
    label->setPixmap(icon.pixmap(icon.availableSizes().value(0, QSize(32, 32))));
  }
  // A press on a label is the label's, not one on the form's body.
  label->setAttribute(Qt::WA_NoMousePropagation);
  label->setGeometry(ToQRect(at));
  return label;
}

// Where the window manager moves no windows itself: the window follows the pointer until the
// buttons are released.
void FollowPointer(QWidget& window) {
  class Follower final : public QObject {
   public:
    Follower(QWidget& window, QEventLoop& loop)
        : window_(&window), loop_(loop), grip_(QCursor::pos() - window.pos()) {}

   protected:
    // Watches only: the widgets still see every event, so that their idea of the buttons held
    // stays right.
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::MouseButtonRelease) loop_.quit();
      if (event->type() != QEvent::MouseMove) return false;
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (!window_ || mouse->buttons() == Qt::NoButton) {
        loop_.quit();
      } else {
        window_->move(mouse->globalPosition().toPoint() - grip_);
      }
      return false;
    }

   private:
    QPointer<QWidget> window_;
    QEventLoop& loop_;
    const QPoint grip_;
  };
  QEventLoop loop;
  Follower follower(window, loop);
  QObject::connect(&window, &QObject::destroyed, &loop, &QEventLoop::quit);
  qApp->installEventFilter(&follower);
  loop.exec();
}

}  // namespace

QtWindow::QtWindow(QtDesktop& desktop, const FormSpec& declaration)
    : desktop_(desktop),
      onClose_(declaration.onClose),
      showInTaskbar_(declaration.showInTaskbar),
      widget_(new QtFormWidget(declaration.onClose)),
      body_(new QtFormBody(widget_, declaration.onMouseDown, declaration.onMouseMove)),
      clientSize_(ToQRect(ToPixels({0, 0, declaration.clientWidth, declaration.clientHeight},
                                   *widget_->screen()))
                      .size()) {
  widget_->setObjectName(ToQString(declaration.name));
  widget_->setWindowFlags(FlagsFor(declaration.frame));
  widget_->setWindowTitle(ToQString(declaration.caption));
  if (declaration.programIcon) widget_->setWindowIcon(ProgramIcon());
  // A borderless window has no Close command, yet a window manager may still offer one.
  if (declaration.frame == FrameStyle::None) widget_->refuseUserClose();
  if (!declaration.font.face.empty()) body_->setFont(ToQFont(declaration.font));
  addControls(declaration.controls);
  addMenus(declaration.menus);
  layOut();
  prepareNativeWindow();
  desktop_.windowLoaded(this);
}

QtWindow::~QtWindow() {
  for (const auto& connection : handlerConnections_) QObject::disconnect(connection);
  widget_->detach();
  body_->detach();
  widget_->hide();
  widget_->deleteLater();
  desktop_.windowUnloaded(this);
}

void QtWindow::addControls(const std::vector<ControlSpec>& controls) {
  std::vector<std::pair<int, QWidget*>> tabStops;
  for (const ControlSpec& control : controls) {
    QWidget* widget = addControl(control);
    if (control.tabIndex >= 0) tabStops.emplace_back(control.tabIndex, widget);
  }
  std::stable_sort(tabStops.begin(), tabStops.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 1; i < tabStops.size(); ++i) {
    QWidget::setTabOrder(tabStops[i - 1].second, tabStops[i].second);
  }
}

QWidget* QtWindow::addControl(const ControlSpec& control) {
  QWidget* widget = CreateControl(control, ToPixels(control.at, *widget_->screen()), body_);
  widget->setObjectName(ToQString(control.name));
  if (!control.font.face.empty()) widget->setFont(ToQFont(control.font));
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    // As a Windows label does, within its width; one a single line high is clipped instead, as
    // the wider faces here would otherwise push its last word onto a line nobody sees.
    label->setWordWrap(label->height() >= 2 * label->fontMetrics().lineSpacing());
  }
  if (control.tabIndex < 0 && widget->focusPolicy() != Qt::NoFocus) {
    widget->setFocusPolicy(Qt::ClickFocus);
  }
  // By its declared name: which label names it is the behaviour's knowledge, not the
  // declaration's.
  if (control.kind == ControlKind::TextBox) widget->setAccessibleName(ToQString(control.name));
  if (auto* list = qobject_cast<QComboBox*>(widget); list && control.onClick) {
    // The user's pick only: the behaviour's own setListIndex() runs no handler.
    handlerConnections_.push_back(
        QObject::connect(list, &QComboBox::activated, [handler = control.onClick] { handler(); }));
  }
  auto* button = qobject_cast<QPushButton*>(widget);
  if (!button) return widget;
  if (control.onClick) {
    // The connection owns a copy of the handler, which Qt keeps alive while it runs even when
    // the handler unloads this window.
    handlerConnections_.push_back(QObject::connect(button, &QPushButton::clicked,
                                                   [handler = control.onClick] { handler(); }));
  }
  button->setDefault(control.isDefault);
  if (control.isDefault) widget_->setDefaultButton(button);
  if (control.isCancel) widget_->setCancelButton(button);
  return widget;
}

void QtWindow::addMenus(const std::vector<MenuSpec>& menus) {
  if (menus.empty()) return;
  menuBar_ = new QMenuBar(widget_);
  // In the window on every desktop: a global menu bar elsewhere would take the bar's height out
  // of the window, and its menus out of the window's accessibility tree.
  menuBar_->setNativeMenuBar(false);
  for (const MenuSpec& declared : menus) {
    QMenu* menu = menuBar_->addMenu(ToQString(declared.caption));
    menu->menuAction()->setObjectName(ToQString(declared.name));
    addItems(*menu, declared.items);
    menus_.emplace(declared.name, menu);
  }
}

void QtWindow::addItems(QMenu& menu, const std::vector<MenuSpec>& items) {
  for (const MenuSpec& item : items) {
    if (!item.items.empty()) {
      QMenu* submenu = menu.addMenu(ToQString(item.caption));
      submenu->menuAction()->setObjectName(ToQString(item.name));
      addItems(*submenu, item.items);
      continue;
    }
    QAction* action = menu.addAction(ToQString(item.caption));
    action->setObjectName(ToQString(item.name));
    if (!item.onClick) continue;
    handlerConnections_.push_back(
        QObject::connect(action, &QAction::triggered, [handler = item.onClick] { handler(); }));
  }
}

void QtWindow::layOut() {
  int barHeight = 0;
  if (menuBar_) {
    const QList<QAction*> menus = menuBar_->actions();
    const bool shown = std::any_of(menus.begin(), menus.end(),
                                   [](const QAction* menu) { return menu->isVisible(); });
    menuBar_->setVisible(shown);
    if (shown) {
      // The bar's height follows from its width: its menus wrap.
      menuBar_->resize(clientSize_.width(), menuBar_->height());
      barHeight = menuBar_->heightForWidth(clientSize_.width());
      menuBar_->setGeometry(0, 0, clientSize_.width(), barHeight);
    }
  }
  body_->setGeometry(QRect(QPoint(0, barHeight), clientSize_));
  widget_->setFixedSize(clientSize_.width(), clientSize_.height() + barHeight);
}

// The native window exists from the start, so that what the window manager and the
// accessibility tree see of a never-shown window is already right.
void QtWindow::prepareNativeWindow() {
  widget_->winId();
  if (!showInTaskbar_) KeepOutOfTaskbar(*widget_);
  if (topmost_) KeepAbove(*widget_, true);
}

void QtWindow::setVisible(bool visible) {
  if (visible && !widget_->isVisible()) prepareNativeWindow();
  widget_->setVisible(visible);
}

bool QtWindow::isVisible() const {
  return widget_->isVisible();
}

QWidget* QtWindow::control(std::string_view name) const {
  return body_->findChild<QWidget*>(ToQString(name), Qt::FindDirectChildrenOnly);
}

void QtWindow::setCaption(std::string_view control, std::string_view text) {
  if (control.empty()) return widget_->setWindowTitle(ToQString(text));
  QWidget* widget = this->control(control);
  if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(ToQString(text));
  if (auto* button = qobject_cast<QPushButton*>(widget)) button->setText(ToQString(text));
  if (auto* box = qobject_cast<QLineEdit*>(widget)) box->setText(ToQString(text));
  if (auto* view = qobject_cast<QPlainTextEdit*>(widget)) view->setPlainText(ToQString(text));
}

std::string QtWindow::text(std::string_view control) const {
  QWidget* widget = this->control(control);
  if (auto* box = qobject_cast<QLineEdit*>(widget)) return box->text().toStdString();
  if (auto* view = qobject_cast<QPlainTextEdit*>(widget)) return view->toPlainText().toStdString();
  return {};
}

void QtWindow::addItem(std::string_view control, std::string_view text) {
  auto* list = qobject_cast<QComboBox*>(this->control(control));
  if (!list) return;
  // Qt picks the first entry added to an empty list; nothing is picked until the user or the
  // behaviour picks one.
  const int picked = list->currentIndex();
  list->addItem(ToQString(text));
  list->setCurrentIndex(picked);
}

int QtWindow::listIndex(std::string_view control) const {
  const auto* list = qobject_cast<QComboBox*>(this->control(control));
  return list ? list->currentIndex() : -1;
}

void QtWindow::setListIndex(std::string_view control, int index) {
  if (auto* list = qobject_cast<QComboBox*>(this->control(control))) list->setCurrentIndex(index);
}

void QtWindow::disableCloseCommand() {
  widget_->refuseUserClose();
  const bool shown = widget_->isVisible();
  // Changing the flags may re-create the native window, hidden.
  widget_->setWindowFlag(Qt::WindowCloseButtonHint, false);
  prepareNativeWindow();
  if (shown) setVisible(true);
}

void QtWindow::setMenuVisible(std::string_view menu, bool visible) {
  const auto found = menus_.find(menu);
  if (found == menus_.end()) return;
  found->second->menuAction()->setVisible(visible);
  layOut();
}

void QtWindow::popUpMenu(std::string_view menu) {
  // The bar's own menu: a second menu of the same items would take them over in the
  // accessibility tree, and leave them dead there once it is gone. Should a handler unload the
  // window, Qt's exec() outlives the menu's deletion.
  const auto found = menus_.find(menu);
  if (found != menus_.end()) found->second->exec(QCursor::pos());
}

// A hidden window has nothing to raise: Qt's pop-up menus close on a click elsewhere anyway.
void QtWindow::bringToForeground() {
  if (!widget_->isVisible()) return;
  widget_->raise();
  widget_->activateWindow();
}

void QtWindow::dragWithMouse() {
  if (!widget_->isVisible() || QGuiApplication::mouseButtons() == Qt::NoButton) return;
  QWindow* window = widget_->windowHandle();
  if (window && window->startSystemMove()) return;
  FollowPointer(*widget_);
}

void QtWindow::move(int left, int top) {
  const QScreen& screen = *widget_->screen();
  widget_->move(TwipsToPixels(left, screen.logicalDotsPerInchX()),
                TwipsToPixels(top, screen.logicalDotsPerInchY()));
}

long QtWindow::setTopmost(bool topmost) {
  topmost_ = topmost;
  return KeepAbove(*widget_, topmost) ? 1 : 0;
}

}  // namespace platform
