// The console's Linux ports beyond the contracts: where its server listens, this computer, the
// teacher's folder and the secret.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "contract/Harness.h"
#include "platform/Paths.h"
#include "platform/Random.h"
#include "platform/ThisComputer.h"
#include "platform/linux/HttplibHttpServer.h"
#include "platform/linux/QtDatagramPort.h"
#include "unit/ScratchDir.h"

// The console's port for the contracts.
std::unique_ptr<platform::DatagramPort> harness::NewDatagramPort() {
  return std::make_unique<platform::QtDatagramPort>();
}

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

// As the kernel names this computer and `ip` lists its addresses, in the same order, each once,
// loopback's left out.
TEST(ThisComputer, IsNamedAndAddressedAsTheSystemSays) {
  const platform::ThisComputer self = platform::DescribeThisComputer();
  std::string described = self.name + "\n";
  for (const std::uint32_t address : self.addresses) {
    described += inet_ntoa(in_addr{htonl(address)}) + std::string("\n");
  }
  std::string listed;
  FILE* const system = popen(
      "cat /proc/sys/kernel/hostname; ip -4 -o addr show up | awk "
      "'{sub(\"/.*\", \"\", $4)} $4 !~ /^127\\./ && !seen[$4]++ {print $4}'",
      "r");
  for (int c; (c = std::fgetc(system)) != EOF;) listed += static_cast<char>(c);
  pclose(system);
  EXPECT_EQ(described, listed);
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
