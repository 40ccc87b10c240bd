#include <sys/stat.h>

#include <QApplication>
#include <QSystemTrayIcon>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "console/Program.h"
#include "platform/Paths.h"
#include "platform/linux/HttplibHttpServer.h"
#include "platform/linux/PosixCodePage.h"
#include "platform/linux/PosixFiles.h"
#include "platform/linux/PosixInstanceGuard.h"
#include "platform/linux/PosixResolver.h"
#include "platform/linux/QtDatagramPort.h"
#include "platform/linux/QtScheduler.h"
#include "platform/linux/QtTrayMenu.h"

namespace {

void Say(const std::string& message) {
  std::fprintf(stderr, "velostrander-console: %s\n", message.c_str());
}

int Fail(const std::string& message) {
  Say(message);
  return 1;
}

// The page's entry file, named on stdout for a teacher at a terminal, and opened in the browser.
bool Open(const std::string& entry, bool inBrowser) {
  std::printf("velostrander-console: open file://%s\n", entry.c_str());
  std::fflush(stdout);
  return !inBrowser || platform::OpenInBrowser(entry);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The claim of one console per user goes by this name, whatever the program file is called.
  QApplication::setApplicationName("velostrander-console");
  QApplication::setQuitOnLastWindowClosed(false);
  const console::ParsedOptions parsed =
      console::ParseOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (!parsed.error.empty()) return Fail(parsed.error);
  const bool inBrowser = parsed.options.openBrowser;
  const std::string folder = platform::UserSettingsFolder();
  if (folder.empty()) return Fail("no settings folder: set HOME or XDG_CONFIG_HOME");
  platform::PosixInstanceGuard guard;
  if (guard.anotherInstanceRunning()) {
    return Open(console::EntryFile(folder), inBrowser) ? 0 : Fail("no browser could be started");
  }
  const platform::PosixCodePage codePage;
  platform::PosixFiles files(codePage);
  platform::QtScheduler scheduler;
  platform::QtDatagramPort datagrams;
  platform::PosixResolver resolver;
  platform::HttplibHttpServer server;
  console::Program program(
      {files, datagrams, resolver, scheduler, codePage,
       [] { return std::int64_t{std::time(nullptr)}; }, platform::DescribeThisComputer},
      server, folder, parsed.options);
  // The entry file, which carries the secret, is made the teacher's alone, whatever the folder.
  const mode_t teachers = umask(S_IRWXG | S_IRWXO);
  const std::string problem = program.start();
  umask(teachers);
  if (!problem.empty()) return Fail(problem);
  const auto open = [&program] {
    if (!Open(program.entryFile(), true)) Say("no browser could be started");
  };
  platform::QtTrayMenu tray;
  tray.show("Velostrander Console", {{"ページを開く", open}, {"終了", QApplication::quit}});
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    Say("no system tray: the console runs on without its icon until it is ended");
  }
  if (!Open(program.entryFile(), inBrowser)) Say("no browser could be started");
  return QApplication::exec();
}
