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
          fmt::format("O serviço de aplicação não pode ser alcançado: {}", r.text), r.key);
  }
  throw host::OperationError("Falha desconhecida de uma chamada remota.");
}

}  // namespace remote
