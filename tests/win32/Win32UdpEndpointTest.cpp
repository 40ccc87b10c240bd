// Wine never reports a refused datagram, so the refusal is injected where recvfrom reports it.
#include <winsock2.h>

#include "win32/Win32Harness.h"

namespace {

int FailWith(int error) {
  WSASetLastError(error);
  return SOCKET_ERROR;
}

int FailWithConnectionReset(SOCKET, char*, int) {
  return FailWith(WSAECONNRESET);
}

int FailWithNetworkReset(SOCKET, char*, int) {
  return FailWith(WSAENETRESET);
}

}  // namespace

SELFCHECK_TEST(AConnectionResetIsARefusalByTheDestinationAndOtherErrorsFailures) {
  const std::pair<platform::ReceiveFunction, platform::ReadResult> cases[] = {
      {&FailWithConnectionReset, platform::ReadResult::RefusedByDestination},
      {&FailWithNetworkReset, platform::ReadResult::Failed},
  };
  for (const auto& [receive, result] : cases) {
    std::unique_ptr<platform::Win32UdpEndpoint> endpoint;
    std::vector<platform::Arrival> arrivals;
    endpoint = std::make_unique<platform::Win32UdpEndpoint>(
        win32test::TheBackend().window, [&] { arrivals.push_back(endpoint->read()); }, receive);
    const std::uint16_t port = harness::UnusedPort();
    CHECK(endpoint->bind(port) == platform::BindResult::Bound);
    harness::Send(port, {"raises the arrival event"});
    CHECK(harness::PumpUntil([&] { return !arrivals.empty(); }));
    CHECK(arrivals.size() == 1 && arrivals[0].result == result && arrivals[0].bytes.empty());
  }
}
