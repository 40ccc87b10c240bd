// Looks host names up without ever blocking the UI thread: a lookup may take seconds where a
// name server does not answer, and the agent must go on taking the teacher's datagrams.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace platform {

class Resolver {
 public:
  // Every IPv4 address of the name, in host order; none where it resolves to none.
  using Done = std::function<void(std::vector<std::uint32_t> addresses)>;

  virtual ~Resolver() = default;
  // Calls `done` once, later, on the UI thread from the event loop, never from within lookUp.
  // A dotted IPv4 address is its own one address, and asks no name server. Lookups still
  // running when the resolver goes are dropped: their `done` is never called.
  virtual void lookUp(std::string_view host, Done done) = 0;
};

}  // namespace platform
