#pragma once
// The connection to one server object of the application service (the host's TNetConnection
// with ThrowException off): connecting never throws, and a call on a connection that is down
// comes back as a failed result that CheckResultServ turns into an error.

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "remote/Wire.h"

namespace remote {

/// One positional argument: by value, or by reference (in-out: written back after the call).
class Arg {
 public:
  Arg(Variant v) : value_(std::move(v)) {}
  Arg(const std::string& s) : value_(s) {}
  Arg(const char* s) : value_(s) {}
  Arg(int i) : value_(i) {}
  Arg(int64_t i) : value_(i) {}
  Arg(double d) : value_(d) {}
  Arg(bool b) : value_(b) {}
  Arg(host::DateTime d) : value_(d) {}

  /// In-out text: the service may change it.
  static Arg ref(std::string& s);
  /// In-out of any kind.
  static Arg ref(Variant& v);

  const Variant& value() const { return value_; }
  bool byRef() const { return !std::holds_alternative<std::monostate>(target_); }
  /// Writes the returned value into the caller's variable.
  void writeBack(const Variant& v) const;

 private:
  Variant value_;
  std::variant<std::monostate, std::string*, Variant*> target_;
};

/// What a call gives back: the result, or why it failed. Hand it to CheckResultServ.
struct Result {
  Reply reply;
};

class Connection {
 public:
  /// `serverName` names the server object ("Rec12000.rdmHabContRec").
  explicit Connection(std::string serverName, std::shared_ptr<TransportFactory> factory = {});

  const std::string& serverName() const { return serverName_; }
  /// Replaces how this connection reaches the service (closes an open transport).
  void setFactory(std::shared_ptr<TransportFactory> factory);

  /// Connects with the address and port the context gives now (WebURL, WebPort). Never
  /// throws: on failure `connected()` stays false and `lastError()` says why.
  bool connect();
  void disconnect();
  bool connected() const { return transport_ != nullptr; }
  const std::string& lastError() const { return lastError_; }

  /// The company the calls work on: the context's (EmprProc) unless a screen chose another
  /// one for this connection (the register's company panel); empty goes back to the
  /// context's. The service checks the operator's access to it at every call.
  void setCompany(std::string company) { company_ = std::move(company); }
  const std::string& company() const { return company_; }

  /// Calls `method` (exact name) with positional arguments; in-out arguments come back
  /// changed. Never throws for a refusal or a dead connection: the Result carries it. A call
  /// that finds the service gone (or its session forgotten) leaves the connection down.
  Result call(const std::string& method, const std::vector<Arg>& args = {});

 private:
  std::string serverName_;
  std::shared_ptr<TransportFactory> factory_;
  std::unique_ptr<Transport> transport_;
  std::string lastError_;
  std::string company_;
};

/// The process's default way to reach the service, used by connections made without one
/// (the module's connection): the installed host's transport (host/Host.h), the in-process
/// service or HTTP as the application chose; empty when none is installed.
std::shared_ptr<TransportFactory> defaultTransportFactory();

/// The host's result check: a refusal throws host::ServiceError whose text is the service's
/// message key; a dead or failing connection throws host::OperationError saying so. Only a
/// successful result is ever handed back.
Variant CheckResultServ(const Result& result);

}  // namespace remote
