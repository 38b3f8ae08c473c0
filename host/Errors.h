#pragma once
// The three ways an operation ends early, and the check for broken invariants.

#include <stdexcept>
#include <string>

namespace host {

/// An operator-facing failure: the text is already resolved from the screen's message table.
/// The screen's caller shows it; the operation ends.
class OperationError : public std::runtime_error {
 public:
  explicit OperationError(const std::string& text, std::string key = {})
      : std::runtime_error(text), key_(std::move(key)) {}
  /// The message key the text came from, when it came from one.
  const std::string& key() const { return key_; }

 private:
  std::string key_;
};

/// A silent abort: the operation ends and nothing is shown.
class OperationAborted : public std::exception {
 public:
  const char* what() const noexcept override { return "operation aborted"; }
};

/// A refusal of the remote service: `what()` is the service's message key, compared whole;
/// `detail()` is a readable text for logs and for operators when the screen has no such key.
class ServiceError : public std::runtime_error {
 public:
  explicit ServiceError(const std::string& key, std::string detail = {})
      : std::runtime_error(key), key_(key), detail_(std::move(detail)) {}
  const std::string& key() const { return key_; }
  const std::string& detail() const { return detail_; }

 private:
  std::string key_;
  std::string detail_;
};

/// A broken invariant: a programming error, never an operator's.
class InvariantError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

[[noreturn]] void invariantFailed(const char* expr, const char* file, int line,
                                  const std::string& detail);

/// Raises the operator-facing error `text` (the host's MensErro): control does not come back.
[[noreturn]] void MensErro(const std::string& text, const std::string& key = {});
/// Ends the current operation silently (the host's Abort).
[[noreturn]] void Abort();

}  // namespace host

#define BOLETO_CHECK(expr, detail)                                             \
  do {                                                                         \
    if (!(expr)) ::host::invariantFailed(#expr, __FILE__, __LINE__, (detail)); \
  } while (false)
