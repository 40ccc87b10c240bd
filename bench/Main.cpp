// velo_bench URL-PREFIX: the agent with its real browser, driven by datagrams on loopback, with
// a small page at URL-PREFIX followed by any number. Needs an X display for the browser.
#include <QApplication>
#include <clocale>
#include <iostream>

#include "bench/BenchAgent.h"
#include "bench/Measures.h"
#include "bench/Stamping.h"
#include "devtools/Browsers.h"
#include "platform/linux/QtBrowserPrograms.h"
#include "platform/linux/QtPlatform.h"
#include "platform/linux/QtScheduler.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: velo_bench URL-PREFIX\n";
    return 2;
  }
  std::setlocale(LC_ALL, "");
  platform::QtApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);

  bench::Recorder recorder;
  platform::QtBrowserPrograms chromium;
  bench::StampingPrograms programs(chromium, recorder);
  platform::QtScheduler scheduler;
  devtools::Browsers devtools(programs, scheduler, nullptr);
  bench::StampingBrowsers browsers(devtools, recorder);
  bench::BenchAgent agent(browsers);
  if (!agent.running()) {
    std::cerr << "the agent did not start\n";
    return 1;
  }
  bench::Figures figures;
  bool ready = false;
  bench::RunBesideEventLoop([&] {
    bench::MeasurePages(argv[1], agent.port(), recorder, figures);
    ready = bench::MeasureLatency(agent.port(), recorder, figures);
  });
  if (!ready) {
    std::cerr << "the browser was never ready\n";
    return 1;
  }
  figures.print(std::cout);
  return 0;
}
