#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "platform/ThisComputer.h"

namespace platform {

ThisComputer DescribeThisComputer() {
  ThisComputer self;
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) == 0) self.name = name.data();
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return self;
  for (const ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
        (entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) {
      continue;
    }
    const std::uint32_t address =
        ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
    if (std::ranges::find(self.addresses, address) == self.addresses.end()) {
      self.addresses.push_back(address);
    }
  }
  freeifaddrs(interfaces);
  return self;
}

}  // namespace platform
