#include "platform/linux/PosixResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <QMetaObject>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

struct PosixResolver::Mailbox {
  explicit Mailbox(QObject* context) : context(context) {}

  std::mutex mutex;
  QObject* context;  // null once the resolver has gone

  // Posted under the lock, so that the context cannot go between the check and the post; Qt
  // drops what is still queued for it when it goes.
  void post(Done done, std::vector<std::uint32_t> addresses) {
    const std::lock_guard lock(mutex);
    if (!context) return;
    QMetaObject::invokeMethod(
        context,
        [done = std::move(done), addresses = std::move(addresses)]() mutable {
          done(std::move(addresses));
        },
        Qt::QueuedConnection);
  }
};

namespace {

// A dotted IPv4 address is answered by getaddrinfo itself, with no name server asked.
std::vector<std::uint32_t> AddressesOf(const std::string& host) {
  std::vector<std::uint32_t> addresses;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return addresses;
  for (const addrinfo* entry = found; entry; entry = entry->ai_next)
    addresses.push_back(
        ntohl(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr));
  freeaddrinfo(found);
  return addresses;
}

}  // namespace

PosixResolver::PosixResolver() : mailbox_(std::make_shared<Mailbox>(&context_)) {}

PosixResolver::~PosixResolver() {
  const std::lock_guard lock(mailbox_->mutex);
  mailbox_->context = nullptr;
}

void PosixResolver::lookUp(std::string_view host, Done done) {
  auto lookup = [mailbox = mailbox_, host = std::string(host), done]() mutable {
    mailbox->post(std::move(done), AddressesOf(host));
  };
  // Without a thread for it, the name has no address that the agent could learn: answered so.
  try {
    std::thread(std::move(lookup)).detach();
  } catch (const std::system_error&) {
    mailbox_->post(std::move(done), {});
  }
}

}  // namespace platform
