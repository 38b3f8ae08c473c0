#include "module/HostPorts.h"

#include <stdexcept>

#include "host/Context.h"
#include "host/Dialogs.h"
#include "module/RemoteHostDatabase.h"
#include "module/ScreenHost.h"
#include "module/SharedConnection.h"
#include "remote/Connection.h"

namespace rec {

void installHostPorts(const HostPorts& ports) {
  if (ports.version != HostPorts::kVersion) {
    throw std::invalid_argument("the host's ports are of version " + std::to_string(ports.version) +
                                ", the package expects " + std::to_string(HostPorts::kVersion));
  }
  if (ports.context) host::setContext(ports.context);
  if (ports.dialogs) host::setDialogs(ports.dialogs);
  if (ports.screens) setScreenHost(ports.screens);
  if (ports.transport) {
    remote::setDefaultTransportFactory(ports.transport);
    // The shared connection may have been opened on an earlier transport.
    netHabContRec().setFactory(nullptr);
    static std::unique_ptr<RemoteHostDatabase> queries;
    host::setHostDatabase(nullptr);
    queries = std::make_unique<RemoteHostDatabase>(ports.transport);
    host::setHostDatabase(queries.get());
  }
}

}  // namespace rec
