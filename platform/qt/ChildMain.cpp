// Velostrander_Child on Linux: the agent's behaviour on the Qt backend.
#include <QApplication>
#include <clocale>

#include "child/Form1.h"
#include "platform/qt/QtBrowser.h"
#include "platform/qt/QtCodePage.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtInstanceGuard.h"
#include "platform/qt/QtNetwork.h"
#include "platform/qt/QtScheduler.h"

int main(int argc, char* argv[]) {
  // Settings files and datagrams are in the user's locale, whatever the toolkit makes of it.
  std::setlocale(LC_ALL, "");
  const platform::QtCodePage codePage;

  platform::QtBrowserFactory::prepareProcess();
  QApplication application(argc, argv);
  // A hidden window still keeps the agent running; it ends when no window is loaded.
  QApplication::setQuitOnLastWindowClosed(false);

  platform::QtDesktop desktop;
  platform::QtInstanceGuard instance;
  platform::QtNetwork network;
  platform::QtBrowserFactory browsers;
  platform::QtScheduler scheduler;
  child::Program program(
      child::AgentPlatform{desktop, instance, codePage, network, browsers, scheduler});
  child::Form1 form(program);
  form.Load();
  if (desktop.anyWindowLoaded()) QApplication::exec();
  return 0;
}
