#pragma once
// A flag set for a scope: a screen's "busy" or "leaving" mark, a view's "syncing" guard.

namespace host {

/// Sets `flag` to `value` for a scope and gives it back the value it had however the scope
/// ends, so that nested scopes and exceptions leave it as they found it.
class ScopedFlag {
 public:
  explicit ScopedFlag(bool& flag, bool value = true) : flag_(flag), before_(flag) { flag_ = value; }
  ~ScopedFlag() { flag_ = before_; }
  ScopedFlag(const ScopedFlag&) = delete;
  ScopedFlag& operator=(const ScopedFlag&) = delete;

 private:
  bool& flag_;
  bool before_;
};

}  // namespace host
