#pragma once
// What a program that loads the package hands to it. The package carries its own copy of
// the host layer's process-wide ports, so the loading program gives it its own
// (host::Host, host/Host.h) through the entry point `InstalaHost`; a program that links the
// module statically installs them with host::HostScope instead.

namespace host {
struct Host;
}  // namespace host

namespace rec {

/// Installs the ports for the package until `releaseHostPorts`; a second call replaces the
/// first. The shared connection lets go of a service reached through earlier ports.
void installHostPorts(const host::Host& ports);
/// Puts back what was installed before the first `installHostPorts` (the package's
/// finalization).
void releaseHostPorts();

}  // namespace rec
