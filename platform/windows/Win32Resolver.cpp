#include "platform/windows/Win32Resolver.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/windows/Win32Text.h"

namespace platform {
namespace {

// Made on the UI thread, filled on the pool's, and handed back whole in the posted message.
struct Lookup {
  HWND window;
  UINT message;
  std::uint64_t id;
  std::wstring host;
  std::vector<std::uint32_t> addresses;
};

DWORD WINAPI Run(void* parameter) {
  std::unique_ptr<Lookup> lookup(static_cast<Lookup*>(parameter));
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  ADDRINFOW* found = nullptr;
  if (!lookup->host.empty() && GetAddrInfoW(lookup->host.c_str(), nullptr, &hints, &found) == 0) {
    for (const ADDRINFOW* entry = found; entry; entry = entry->ai_next) {
      const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
      lookup->addresses.push_back(ntohl(address->sin_addr.s_addr));
    }
    FreeAddrInfoW(found);
  }
  // Once posted, the message owns it; a window that has gone takes nothing.
  const HWND window = lookup->window;
  const UINT message = lookup->message;
  if (PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(lookup.get()))) lookup.release();
  return 0;
}

}  // namespace

Win32Resolver::Win32Resolver(Win32MessageWindow& window)
    : window_(window), message_(window.newMessage()) {
  window_.setHandler(message_, [this](WPARAM, LPARAM posted) {
    const std::unique_ptr<Lookup> lookup(reinterpret_cast<Lookup*>(posted));
    const auto waiting = waiting_.find(lookup->id);
    if (waiting == waiting_.end()) return;
    const Done done = std::move(waiting->second);
    waiting_.erase(waiting);
    done(std::move(lookup->addresses));
  });
}

// An answer posted after this finds no handler, and is dropped with the message.
Win32Resolver::~Win32Resolver() {
  window_.removeHandler(message_);
}

void Win32Resolver::lookUp(std::string_view host, Done done) {
  const std::uint64_t id = nextLookup_++;
  auto lookup =
      std::make_unique<Lookup>(Lookup{window_.hwnd(), message_, id, Utf8ToUtf16(host), {}});
  waiting_.emplace(id, std::move(done));
  // Without a thread for it, the name has no address that the agent could learn: answered so.
  const LPARAM posted = reinterpret_cast<LPARAM>(lookup.get());
  if (QueueUserWorkItem(&Run, lookup.get(), WT_EXECUTEDEFAULT) ||
      PostMessageW(window_.hwnd(), message_, 0, posted)) {
    lookup.release();
  } else {
    waiting_.erase(id);
  }
}

}  // namespace platform
