#include "host/Host.h"

#include <mutex>
#include <utility>

#include "host/Context.h"
#include "host/DateTime.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/HostDatabase.h"

namespace host {

namespace {

std::mutex gMutex;
Host gInstalled;

}  // namespace

Host installedHost() {
  std::lock_guard lock(gMutex);
  return gInstalled;
}

HostScope::HostScope(Host ports) : ports_(std::move(ports)) {
  std::lock_guard lock(gMutex);
  previous_ = std::exchange(gInstalled, ports_);
}

HostScope::~HostScope() {
  std::lock_guard lock(gMutex);
  gInstalled = std::move(previous_);
}

void HostScope::replace(Host ports) {
  std::lock_guard lock(gMutex);
  ports_ = std::move(ports);
  gInstalled = ports_;
}

Context& context() {
  std::lock_guard lock(gMutex);
  BOLETO_CHECK(gInstalled.context != nullptr, "no host context installed");
  return *gInstalled.context;
}

Dialogs& dialogs() {
  std::lock_guard lock(gMutex);
  BOLETO_CHECK(gInstalled.dialogs != nullptr, "no dialogs installed");
  return *gInstalled.dialogs;
}

HostDatabase& hostDatabase() {
  std::lock_guard lock(gMutex);
  if (!gInstalled.database)
    throw OperationError("No database is set for direct queries: the host has not connected one.");
  return *gInstalled.database;
}

const Clock& clock() {
  std::lock_guard lock(gMutex);
  BOLETO_CHECK(gInstalled.clock != nullptr, "no clock installed");
  return *gInstalled.clock;
}

}  // namespace host
