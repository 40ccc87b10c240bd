// The Qt backend's windows on the offscreen platform, as the behaviour declares them, and the
// ports that stand in for what Windows has and Linux has not.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <string>
#include <vector>

#include "child/Program.h"
#include "fake/FakePlatform.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtPrograms.h"
#include "platform/qt/QtTray.h"
#include "unit/ScratchDir.h"

namespace {

using platform::FormSpec;

// The window of that name, once those unloaded before it are gone.
QWidget& TopLevel(const QString& name) {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == name) return *widget;
  }
  throw std::runtime_error("no window " + name.toStdString());
}

// The agent's own windows on the Qt desktop.
class QtDesktopPlatform final : public fake::FakePlatform {
 public:
  platform::Desktop& desktop() override { return qtDesktop; }
  platform::QtDesktop qtDesktop;
};

TEST(QtWindow, TheCallPanelsFrameLiesOnItsOutermostPixels) {
  QtDesktopPlatform platform;
  child::Program program{platform};
  program.form2.Show();
  QWidget& panel = TopLevel("Form2");
  ASSERT_EQ(panel.size(), QSize(105, 33));
  const QImage image = panel.grab().toImage();
  const QColor text = panel.palette().color(QPalette::WindowText);
  for (int x = 0; x < 105; ++x) {
    EXPECT_TRUE(image.pixelColor(x, 0) == text && image.pixelColor(x, 32) == text) << x;
  }
  for (int y = 0; y < 33; ++y) {
    EXPECT_TRUE(image.pixelColor(0, y) == text && image.pixelColor(104, y) == text) << y;
  }
  EXPECT_NE(image.pixelColor(1, 1), text);
  // Its face is a Windows one: a Japanese one stands in.
  const QString face = panel.findChild<QPushButton*>("Command1")->font().family();
  EXPECT_TRUE(QFontDatabase::writingSystems(face).contains(QFontDatabase::Japanese))
      << face.toStdString();
}

TEST(QtWindow, TheMenuBarAddsToTheClientAreaWhileAnyOfItsMenusShows) {
  platform::QtDesktop desktop;
  FormSpec form;
  form.name = "Menus";
  form.clientWidth = 3630;
  form.clientHeight = 450;
  form.controls = {platform::Label("Label1", {600, 120, 1815, 255}, "label")};
  form.menus = {{"Menu1", "タスクトレイメニューの表示", {{"Menu2", "操作パネル", {}, {}}}, {}},
                {"Menu3", "About...", {{"Menu4", "About...", {}, {}}}, {}}};
  const auto window = desktop.createWindow(form);
  window->setCaption({}, "title");
  QWidget& widget = TopLevel("Menus");
  EXPECT_EQ(widget.windowTitle(), "title");
  const QWidget& client = *widget.findChild<QWidget*>("Label1")->parentWidget();
  const auto clientAtTheBottom = [&] {
    return client.geometry() == QRect(0, widget.height() - 30, 242, 30) && widget.width() == 242;
  };
  EXPECT_TRUE(clientAtTheBottom() && widget.height() > 30);
  window->setMenuVisible("Menu1", false);
  EXPECT_TRUE(clientAtTheBottom() && widget.height() > 30);
  window->setMenuVisible("Menu3", false);
  EXPECT_TRUE(clientAtTheBottom() && widget.height() == 30);
  window->setMenuVisible("Menu1", true);
  EXPECT_TRUE(clientAtTheBottom() && widget.height() > 30);
}

TEST(QtWindow, AHiddenMenuPopsUpAndReturnsAfterTheChosenItemsHandler) {
  platform::QtDesktop desktop;
  std::vector<std::string> chosen;
  FormSpec form;
  form.menus = {{"Menu1",
                 "menu",
                 {{"Menu2", "first", {}, [&] { chosen.push_back("first"); }},
                  {"Menu3", "second", {}, [&] { chosen.push_back("second"); }}},
                 {}}};
  const auto window = desktop.createWindow(form);
  window->setMenuVisible("Menu1", false);
  const auto chooseSecond = [] {
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}) {
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
      QCoreApplication::sendEvent(QApplication::activePopupWidget(), &press);
    }
  };
  // In the application's loop, as in the agent: the desktop ended it when the windows of the
  // tests before were unloaded, and a menu's own loop would not start.
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(0, chooseSecond);
    window->popUpMenu("Menu1");
    EXPECT_EQ(chosen, std::vector<std::string>{"second"});
    QCoreApplication::exit(0);
  });
  QCoreApplication::exec();
}

TEST(QtWindow, EnterAndEscPressTheirButtonsUnlessTheFocusedButtonTakesTheKey) {
  platform::QtDesktop desktop;
  std::vector<std::string> pressed;
  auto ok = platform::Button("cmdOK", "OK", {0, 0, 900, 300}, 0, [&] { pressed.push_back("OK"); });
  ok.isDefault = ok.isCancel = true;
  FormSpec form;
  form.name = "Keys";
  form.controls = {ok, platform::Button("cmdOther", "&Other", {0, 400, 900, 300}, 1,
                                        [&] { pressed.push_back("Other"); })};
  const auto window = desktop.createWindow(form);
  QWidget& widget = TopLevel("Keys");
  for (const auto& [receiver, key] :
       {std::pair<QWidget*, Qt::Key>{&widget, Qt::Key_Escape},
        {&widget, Qt::Key_Return},
        {widget.findChild<QPushButton*>("cmdOther"), Qt::Key_Return}}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(receiver, &press);
  }
  EXPECT_EQ(pressed, (std::vector<std::string>{"OK", "OK", "Other"}));
}

TEST(QtWindow, ADropDownListRunsItsHandlerForTheUsersPickOnly) {
  platform::QtDesktop desktop;
  std::unique_ptr<platform::Window> window;
  std::vector<int> picks;
  auto list = platform::Control("Combo1", platform::ControlKind::DropDownList, {0, 0, 1455, 300});
  list.onClick = [&] { picks.push_back(window->listIndex("Combo1")); };
  FormSpec form;
  form.name = "List";
  form.controls = {list};
  window = desktop.createWindow(form);
  for (const char* item : {"01", "02", "03"}) window->addItem("Combo1", item);
  EXPECT_EQ(window->listIndex("Combo1"), -1);
  window->setListIndex("Combo1", 1);
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QCoreApplication::sendEvent(TopLevel("List").findChild<QComboBox*>("Combo1"), &down);
  EXPECT_EQ(picks, std::vector<int>{2});
}

TEST(QtWindow, ATextBoxGivesBackJapaneseAndTextOfAnyLength) {
  platform::QtDesktop desktop;
  FormSpec form;
  form.controls = {platform::Control("Text1", platform::ControlKind::TextBox, {0, 0, 615, 270})};
  const auto window = desktop.createWindow(form);
  for (const std::string& text : {std::string("マスターPC"), std::string(40000, 'x') + "end"}) {
    window->setCaption("Text1", text);
    EXPECT_TRUE(window->text("Text1") == text) << text.size();
  }
}

// Windows hands the icon's mouse messages over as moves over the window, the message's code
// where a move carries its horizontal position.
TEST(QtTray, ClicksOnTheIconReachTheWindowAsTheMessagesWindowsSends) {
  platform::QtDesktop desktop;
  platform::QtTray tray(desktop);
  std::vector<double> moves;
  FormSpec form;
  form.name = "Tray";
  form.onMouseMove = [&](const platform::MouseEvent& event) { moves.push_back(event.x); };
  const auto window = desktop.createWindow(form);
  const platform::TrayRecord record{1, 7, 512, "Velostrander_Child"};
  tray.add(*window, record);
  auto* icon = TopLevel("Tray").findChild<QSystemTrayIcon*>();
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->toolTip(), "Velostrander_Child");
  for (const auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::Trigger,
                            QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
    emit icon->activated(reason);
  }
  const double twips = desktop.twipsPerPixelX();
  EXPECT_EQ(twips, 15);
  EXPECT_EQ(moves, (std::vector<double>{516 * twips, 513 * twips, 515 * twips, 519 * twips}));
  tray.remove(record);
  tray.remove(record);
  EXPECT_FALSE(icon->isVisible());
}

TEST(QtPrograms, AnOrdinaryFileIsARegularOneWhoseNameHasNoLeadingDot) {
  const ScratchDir dir;
  platform::QtPrograms programs;
  EXPECT_TRUE(programs.isOrdinaryFile(dir.Write("viewer", "").string()));
  EXPECT_FALSE(programs.isOrdinaryFile(dir.Write(".viewer", "").string()));
  EXPECT_FALSE(programs.isOrdinaryFile(dir.path().string()));
  EXPECT_FALSE(programs.isOrdinaryFile((dir.path() / "missing").string()));
  EXPECT_TRUE(programs.start("/bin/true"));
  EXPECT_FALSE(programs.start((dir.path() / "missing").string()));
}

}  // namespace
