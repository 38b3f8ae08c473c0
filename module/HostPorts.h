#pragma once
// What a program that loads the package hands to it. The package carries its own copy of
// the module's process-wide ports (context, dialogs, screen host, service transport), so
// the loading program gives it its own through the entry point `InstalaHost`; a program
// that links the module statically sets them directly instead.

#include <memory>

namespace host {
class Context;
class Dialogs;
}  // namespace host
namespace remote {
class TransportFactory;
}  // namespace remote

namespace rec {

class ScreenHost;

struct HostPorts {
  /// Raised whenever a member is added, so an older program is refused, not misread.
  static constexpr int kVersion = 1;
  int version = kVersion;
  std::shared_ptr<host::Context> context;
  std::shared_ptr<host::Dialogs> dialogs;
  std::shared_ptr<ScreenHost> screens;
  /// How the package reaches the service; its direct queries go the same way.
  std::shared_ptr<remote::TransportFactory> transport;
};

/// Installs every port that is set; the direct queries follow the transport. Throws
/// std::invalid_argument for another version of the structure.
void installHostPorts(const HostPorts& ports);

}  // namespace rec
