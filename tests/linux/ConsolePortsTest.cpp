// The console's Linux ports on real loopback sockets and the real event loop.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "contract/Harness.h"
#include "platform/Paths.h"
#include "platform/Random.h"
#include "platform/linux/HttplibHttpServer.h"
#include "platform/linux/QtDatagramPort.h"
#include "unit/ScratchDir.h"

namespace {

// Whether the kernel's table of TCP sockets has one listening on 127.0.0.1 at the port and none
// on another address: no packet needs to leave loopback to find out.
std::string ListeningAddresses(std::uint16_t port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::string found;
  char hexPort[8];
  std::snprintf(hexPort, sizeof hexPort, ":%04X", port);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (state == "0A" && local.ends_with(hexPort)) found += local.substr(0, 8) + " ";
  }
  return found;
}

// The other cases of the server are the contract's (HttpServerContract.cpp).
TEST(HttplibHttpServer, ListensOnTheLoopbackAddressOnly) {
  platform::HttplibHttpServer server;
  ASSERT_EQ(server.listen(0, nullptr), "");
  EXPECT_EQ(ListeningAddresses(server.port()), "0100007F ");
}

TEST(QtDatagramPort, ReceivesOnTheUiThreadWithTheSendersAddressAndResolvesDottedHosts) {
  platform::QtDatagramPort receiver;
  platform::QtDatagramPort sender;
  std::vector<platform::ReceivedDatagram> heard;
  std::uint16_t port = 0;
  for (std::uint16_t candidate = 47000; port == 0 && candidate < 47100; ++candidate) {
    if (receiver.listen(candidate,
                        [&](const platform::ReceivedDatagram& d) { heard.push_back(d); }) == "") {
      port = candidate;
    }
  }
  ASSERT_NE(port, 0);
  EXPECT_EQ(sender.send("127.0.0.1", port, "07Call"), "");
  EXPECT_EQ(sender.send("127.0.0.1", port, std::string(60000, 'x')), "");
  ASSERT_TRUE(harness::PumpUntil([&] { return heard.size() == 2; }));
  EXPECT_EQ(heard[0].bytes, "07Call");
  EXPECT_EQ(heard[0].address, 0x7F000001u);
  EXPECT_EQ(heard[1].bytes.size(), 60000u);
  EXPECT_EQ(sender.addresses("127.0.0.1"), std::vector<std::uint32_t>{0x7F000001u});
  EXPECT_NE(platform::QtDatagramPort().listen(port, nullptr), "");
}

// XDG's rule, and a folder for the user alone; two secrets never alike.
TEST(ConsoleFolderAndSecret, FollowXdgAndTheRandomSource) {
  const ScratchDir home;
  const std::string savedHome = std::getenv("HOME");
  setenv("HOME", home.path().c_str(), 1);
  const struct {
    std::string config;
    std::string folder;
  } cases[] = {{home.path() / "conf", home.path() / "conf/velostrander"},
               {"relative", home.path() / ".config/velostrander"},
               {"", home.path() / ".config/velostrander"}};
  std::filesystem::create_directories(home.path() / "conf/velostrander");
  std::filesystem::permissions(home.path() / "conf/velostrander", std::filesystem::perms(0755));
  for (const auto& [config, folder] : cases) {
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    EXPECT_EQ(platform::UserSettingsFolder(), folder) << config;
    struct stat status {};
    EXPECT_EQ(stat(folder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u) << folder;
  }
  setenv("HOME", savedHome.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(platform::RandomBytes(32).size(), 32u);
  EXPECT_NE(platform::RandomBytes(32), platform::RandomBytes(32));
}

}  // namespace
