#include "host/Errors.h"

#include <fmt/format.h>

namespace host {

void invariantFailed(const char* expr, const char* file, int line, const std::string& detail) {
  throw InvariantError(fmt::format("{}:{}: check failed: {}{}{}", file, line, expr,
                                   detail.empty() ? "" : ": ", detail));
}

void MensErro(const std::string& text, const std::string& key) {
  throw OperationError(text, key);
}

void Abort() {
  throw OperationAborted();
}

}  // namespace host
