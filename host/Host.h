#pragma once
// The ports the host gives the module, as one object installed for the process: the working
// context, the dialogs, the database of the direct queries, how screens are shown, how the
// service is reached, and the clock. Installed by one scoped call (`HostScope`) that puts
// back what was installed before when it ends: the command line and the desktop install
// theirs once at start, a test installs its own around each case.

#include <memory>

namespace rec {
class ScreenHost;  // module/ScreenHost.h
}  // namespace rec
namespace remote {
class TransportFactory;  // remote/Transport.h
}  // namespace remote
namespace host::smtp {
class SystemMailClient;  // host/smtp/SystemMail.h
}  // namespace host::smtp

namespace host {

class Clock;
class Context;
class Dialogs;
class HostDatabase;
class SecretOpener;
class SerialPort;

/// The process-wide ports. A member left empty is a port not installed: asking for it is an
/// error (the screen host excepted: screens are then shown headless). host/ only keeps the
/// screen host and the transport: module/ and remote/ read them back.
struct Host {
  /// Raised whenever a member is added, so that a package built against another layout
  /// refuses the object instead of misreading it.
  static constexpr int kVersion = 4;
  int version = kVersion;
  std::shared_ptr<Context> context;
  std::shared_ptr<Dialogs> dialogs;
  std::shared_ptr<HostDatabase> database;  ///< where the direct queries run
  std::shared_ptr<rec::ScreenHost> screens;
  std::shared_ptr<remote::TransportFactory> transport;  ///< how the module reaches the service
  std::shared_ptr<const Clock> clock;                   ///< "today" and "now"
  /// Opens stored secrets; empty: the key file of defaultSecretKeyFile().
  std::shared_ptr<SecretOpener> secrets;
  /// The system's mail program; empty: xdg-email.
  std::shared_ptr<smtp::SystemMailClient> systemMail;
  /// The serial device of the generation's notices; empty: the termios device.
  std::shared_ptr<SerialPort> serial;
};

/// The ports installed now.
Host installedHost();

/// Installs `ports` for the process while it lives; when it ends, the ports installed before
/// come back. Scopes nest and end in the reverse order of their making, as scopes do.
class HostScope {
 public:
  explicit HostScope(Host ports);
  ~HostScope();
  HostScope(const HostScope&) = delete;
  HostScope& operator=(const HostScope&) = delete;

  /// Installs other ports in place of this scope's (a test that logs in as someone else);
  /// the ports from before the scope still come back at its end.
  void replace(Host ports);
  const Host& ports() const { return ports_; }

 private:
  Host ports_;
  Host previous_;
};

/// The installed clock. Throws InvariantError when none is.
const Clock& clock();

}  // namespace host
