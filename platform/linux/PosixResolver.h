#pragma once

#include <QObject>
#include <memory>

#include "platform/Resolver.h"

namespace platform {

// getaddrinfo on a thread of each lookup's own; the answer comes back through the event loop.
// Not QHostInfo: Qt Network would load Kerberos and proxy libraries into every program for it.
class PosixResolver final : public Resolver {
 public:
  PosixResolver();
  ~PosixResolver() override;
  PosixResolver(const PosixResolver&) = delete;
  PosixResolver& operator=(const PosixResolver&) = delete;

  void lookUp(std::string_view host, Done done) override;

 private:
  struct Mailbox;  // where running lookups post their answers; emptied when the resolver goes
  QObject context_;
  std::shared_ptr<Mailbox> mailbox_;
};

}  // namespace platform
