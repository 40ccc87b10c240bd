#include <QCoreApplication>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "console/Program.h"
#include "platform/Paths.h"
#include "platform/linux/HttplibHttpServer.h"
#include "platform/linux/PosixCodePage.h"
#include "platform/linux/PosixFiles.h"
#include "platform/linux/QtDatagramPort.h"
#include "platform/linux/QtResolver.h"
#include "platform/linux/QtScheduler.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "velostrander-console: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const console::ParsedOptions parsed =
      console::ParseOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (!parsed.error.empty()) return Fail(parsed.error);
  const std::string folder = platform::UserSettingsFolder();
  if (folder.empty()) return Fail("no settings folder: set HOME or XDG_CONFIG_HOME");
  const platform::PosixCodePage codePage;
  platform::PosixFiles files(codePage);
  platform::QtScheduler scheduler;
  platform::QtDatagramPort datagrams;
  platform::QtResolver resolver;
  platform::HttplibHttpServer server;
  console::Program program(
      {files, datagrams, resolver, scheduler, codePage,
       [] { return std::int64_t{std::time(nullptr)}; }, platform::DescribeThisComputer},
      server, folder, parsed.options);
  if (const std::string problem = program.start(); !problem.empty()) return Fail(problem);
  // Until the page and the tray come, the teacher opens the entry file by hand.
  std::printf("velostrander-console: open file://%s\n", program.entryFile().c_str());
  std::fflush(stdout);
  return QCoreApplication::exec();
}
