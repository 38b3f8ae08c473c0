#include "module/HostPorts.h"

#include <optional>

#include "host/Host.h"
#include "module/SharedConnection.h"

namespace rec {

namespace {
std::optional<host::HostScope>& packageHost() {
  static std::optional<host::HostScope> scope;
  return scope;
}
}  // namespace

void installHostPorts(const host::Host& ports) {
  auto& scope = packageHost();
  if (scope) {
    scope->replace(ports);
  } else {
    scope.emplace(ports);
  }
  // The shared connection may have been opened on an earlier transport.
  netHabContRec().setFactory(nullptr);
}

void releaseHostPorts() {
  netHabContRec().disconnect();
  packageHost().reset();
}

}  // namespace rec
