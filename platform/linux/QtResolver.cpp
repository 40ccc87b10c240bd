#include "platform/linux/QtResolver.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QMetaObject>
#include <string>
#include <utility>

namespace platform {

// QHostInfo takes a dotted address for a reverse lookup, which would ask a name server for
// nothing the agent needs: it is answered here.
void QtResolver::lookUp(std::string_view host, Done done) {
  const QString name = QString::fromUtf8(host.data(), static_cast<qsizetype>(host.size()));
  QHostAddress literal;
  if (literal.setAddress(name) && literal.protocol() == QAbstractSocket::IPv4Protocol) {
    QMetaObject::invokeMethod(
        &context_, [done = std::move(done), address = literal.toIPv4Address()] { done({address}); },
        Qt::QueuedConnection);
    return;
  }
  QHostInfo::lookupHost(name, &context_, [done = std::move(done)](const QHostInfo& info) {
    std::vector<std::uint32_t> addresses;
    for (const QHostAddress& address : info.addresses()) {
      if (address.protocol() == QAbstractSocket::IPv4Protocol)
        addresses.push_back(address.toIPv4Address());
    }
    done(std::move(addresses));
  });
}

}  // namespace platform
