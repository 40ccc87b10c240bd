// velo_bench channel            the command channel with a recording browser
// velo_bench pages URL-PREFIX   URL datagrams into the agent with its real browser
#include <QApplication>
#include <clocale>
#include <iostream>
#include <string_view>

#include "bench/ChannelBench.h"
#include "bench/PageBench.h"

namespace {

int Usage() {
  std::cerr << "usage: velo_bench channel | velo_bench pages URL-PREFIX\n";
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::string_view mode = argc > 1 ? argv[1] : "";
  if (mode != "channel" && !(mode == "pages" && argc > 2)) return Usage();
  std::setlocale(LC_ALL, "");
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);

  bench::Figures figures;
  const bool started = mode == "channel" ? bench::RunChannelBench({}, figures)
                                         : bench::RunPageBench({argv[2]}, figures);
  if (!started) {
    std::cerr << "the agent did not start\n";
    return 1;
  }
  figures.print(std::cout);
  return 0;
}
