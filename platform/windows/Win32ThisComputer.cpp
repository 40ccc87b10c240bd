#include <winsock2.h>
// After winsock2.h, on which they build.
#include <iphlpapi.h>
#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/ThisComputer.h"
#include "platform/windows/Win32Text.h"

namespace platform {
namespace {

// The name the agents look up: the DNS host name, which is also the NetBIOS name where it is
// short enough, as Windows makes it.
std::string ComputerName() {
  DWORD size = 0;
  GetComputerNameExW(ComputerNamePhysicalDnsHostname, nullptr, &size);
  std::wstring name(size, L'\0');
  if (!GetComputerNameExW(ComputerNamePhysicalDnsHostname, name.data(), &size)) return "";
  name.resize(size);
  return FromUtf16(CP_UTF8, name);
}

}  // namespace

ThisComputer DescribeThisComputer() {
  ThisComputer computer{ComputerName(), {}};
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  // The list may grow between the calls.
  for (int tries = 0; result == ERROR_BUFFER_OVERFLOW && tries < 3; ++tries) {
    buffer.resize(size);
    result = GetAdaptersAddresses(AF_INET, flags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result != NO_ERROR) return computer;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter;
       adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) {
      continue;
    }
    for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
      const auto* address = reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr);
      const std::uint32_t value = ntohl(address->sin_addr.s_addr);
      if (address->sin_family != AF_INET || (value >> 24) == 127 ||
          std::ranges::find(computer.addresses, value) != computer.addresses.end()) {
        continue;
      }
      computer.addresses.push_back(value);
    }
  }
  return computer;
}

}  // namespace platform
