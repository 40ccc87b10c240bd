#pragma once

#include <QObject>

#include "platform/Resolver.h"

namespace platform {

// Qt's own lookups, on its thread pool; their answers come back through the event loop.
class QtResolver final : public Resolver {
 public:
  void lookUp(std::string_view host, Done done) override;

 private:
  QObject context_;  // lookups still running when it goes are dropped with it
};

}  // namespace platform
