#include "report/TemplateDownload.h"

#include <fmt/format.h>

#include "host/Errors.h"
#include "records/Methods.h"
#include "remote/Connection.h"
#include "report/Image.h"

namespace report {

bool GetAtuGerFos(const std::string& localPath, const std::string& source, std::string* why) {
  return GetAtuGerFos(localPath, source, remote::defaultTransportFactory(), why);
}

bool GetAtuGerFos(const std::string& localPath, const std::string& source,
                  std::shared_ptr<remote::TransportFactory> factory, std::string* why) {
  auto fail = [&](const std::string& reason) {
    if (why) *why = reason;
    return false;
  };
  if (localPath.empty() || source.empty()) return fail("caminho ou origem do modelo vazio");
  if (!factory) return fail("nenhum meio de acesso ao serviço foi configurado");
  try {
    remote::Connection connection(rpc::kQRDesign, std::move(factory));
    if (!connection.connect())
      return fail(fmt::format("sem conexão com o serviço: {}", connection.lastError()));
    const remote::Variant content = rpc::call(connection, rpc::BaixaModelo{.NMARQUIVO = source});
    connection.disconnect();
    if (content.kind() != remote::Variant::Kind::Text || content.asString().empty())
      return fail(fmt::format("o serviço não devolveu o conteúdo do modelo {}", source));
    writeFileAtomically(localPath, content.asString());
    return true;
  } catch (const host::ServiceError& e) {
    return fail(fmt::format("{}: {}", e.key(), e.detail()));
  } catch (const std::exception& e) {
    return fail(e.what());
  }
}

}  // namespace report
