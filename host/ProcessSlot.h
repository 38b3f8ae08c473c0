#pragma once
// One service the process installs once and every screen reaches (the context, the dialogs,
// the screen host): installed, replaced or removed as a whole, under a lock.

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "host/Errors.h"

namespace host {

template <class T>
class ProcessSlot {
 public:
  explicit ProcessSlot(const char* what) : what_(what) {}

  /// The installed service; InvariantError naming it when none is.
  T& get() {
    std::lock_guard lock(mutex_);
    BOLETO_CHECK(service_ != nullptr, std::string("no ") + what_ + " installed");
    return *service_;
  }
  /// The installed service, installing `make()` first when there is none.
  T& getOr(const std::function<std::shared_ptr<T>()>& make) {
    std::lock_guard lock(mutex_);
    if (!service_) service_ = make();
    return *service_;
  }
  void set(std::shared_ptr<T> service) {
    std::lock_guard lock(mutex_);
    service_ = std::move(service);
  }

 private:
  const char* what_;
  std::mutex mutex_;
  std::shared_ptr<T> service_;
};

}  // namespace host
