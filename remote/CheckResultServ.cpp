#include <fmt/format.h>

#include "host/Errors.h"
#include "remote/Connection.h"

namespace remote {

Variant CheckResultServ(const Result& result) {
  const Reply& r = result.reply;
  switch (r.failure) {
    case Failure::None:
      return r.result;
    case Failure::Refused:
      throw host::ServiceError(r.key, r.text);
    case Failure::Transport:
      throw host::OperationError(
          fmt::format("the application service cannot be reached: {}", r.text), r.key);
  }
  throw host::OperationError("unknown failure of a remote call");
}

}  // namespace remote
