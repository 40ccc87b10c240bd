// The Qt backend's windows on the offscreen platform, as the behaviour declares them, and the
// ports that stand in for what Windows has and Linux has not.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <string>
#include <vector>

#include "child/Program.h"
#include "fake/FakePlatform.h"
#include "platform/linux/QtDesktop.h"
#include "platform/linux/QtTray.h"

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

// One form's window on the Qt desktop, declared by each test.
class QtWindow : public ::testing::Test {
 protected:
  QWidget& Create(const char* name) {
    form.name = name;
    window = desktop.createWindow(form);
    return TopLevel(name);
  }

  QtDesktopPlatform platform;
  platform::QtDesktop& desktop = platform.qtDesktop;
  FormSpec form;
  std::unique_ptr<platform::Window> window;
};

TEST_F(QtWindow, TheCallPanelsFrameLiesOnItsOutermostPixels) {
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

TEST_F(QtWindow, ATextBoxGivesBackJapaneseAndTextOfAnyLength) {
  form.controls = {platform::Control("Text1", platform::ControlKind::TextBox, {0, 0, 615, 270})};
  Create("Text");
  for (const std::string& text : {std::string("マスターPC"), std::string(40000, 'x') + "end"}) {
    window->setCaption("Text1", text);
    EXPECT_TRUE(window->text("Text1") == text) << text.size();
  }
}

// Windows hands the icon's mouse messages over as moves over the window, the message's code
// where a move carries its horizontal position.
TEST_F(QtWindow, ClicksOnTheTrayIconReachTheWindowAsTheMessagesWindowsSends) {
  platform::QtTray tray(desktop);
  std::vector<double> moves;
  form.onMouseMove = [&](const platform::MouseEvent& event) { moves.push_back(event.x); };
  QWidget& widget = Create("Tray");
  const platform::TrayRecord record{1, 7, 512, "Velostrander_Child"};
  tray.add(*window, record);
  auto* icon = widget.findChild<QSystemTrayIcon*>();
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

}  // namespace
