// Velostrander_Child on Linux: the agent's behaviour on the Qt backend.
#include <QApplication>
#include <clocale>

#include "child/Form1.h"
#include "platform/qt/QtCodePage.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtInstanceGuard.h"

int main(int argc, char* argv[]) {
  // Settings files and datagrams are in the user's locale, whatever the toolkit makes of it.
  std::setlocale(LC_ALL, "");
  const platform::QtCodePage codePage;

  QApplication application(argc, argv);
  // A hidden window still keeps the agent running; it ends when no window is loaded.
  QApplication::setQuitOnLastWindowClosed(false);

  platform::QtDesktop desktop;
  platform::QtInstanceGuard instance;
  child::Program program{desktop, instance, codePage};
  child::Form1 form(program);
  form.Load();
  if (desktop.anyWindowLoaded()) QApplication::exec();
  return 0;
}
