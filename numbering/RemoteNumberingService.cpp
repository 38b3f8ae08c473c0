#include "numbering/RemoteNumberingService.h"

#include <memory>

#include "host/ClientDataset.h"
#include "remote/Connection.h"

namespace numbering {
namespace {

// The rows of a packet, read by field name as the screens read them.
std::unique_ptr<host::ClientDataset> load(const remote::Variant& v) {
  auto ds = std::make_unique<host::ClientDataset>();
  ds->loadPacket(v.packetJson());
  return ds;
}

}  // namespace

std::string RemoteNumberingService::GetNossoNumero(const std::string& sequence) {
  return remote::CheckResultServ(conn_.call("GetNossoNumero", {sequence})).asString();
}

std::vector<NossoNumeroEmUso> RemoteNumberingService::GetValNosNumero(
    std::string& nossoNumero, const std::string& cdReduCont) {
  auto ds = load(remote::CheckResultServ(
      conn_.call("GetValNosNumero", {remote::Arg::ref(nossoNumero), cdReduCont})));
  std::vector<NossoNumeroEmUso> out;
  for (ds->first(); !ds->eof(); ds->next()) {
    out.push_back({ds->valueOf("CDNOSNUMREC").asString(), ds->valueOf("CDREDUCONT").asString()});
  }
  return out;
}

void RemoteNumberingService::SetCodBarra(std::string& linhaFormatada,
                                         const std::string& codigoBarras, std::string& nossoNumero,
                                         std::string& cdFilial, std::string& nrLanBolRec,
                                         const std::string& depIdentificado, std::string& modelo,
                                         std::string& cdReduCont) {
  remote::CheckResultServ(conn_.call(
      "SetCodBarra", {remote::Arg::ref(linhaFormatada), codigoBarras, remote::Arg::ref(nossoNumero),
                      remote::Arg::ref(cdFilial), remote::Arg::ref(nrLanBolRec), depIdentificado,
                      remote::Arg::ref(modelo), remote::Arg::ref(cdReduCont)}));
}

CodigosArmazenados RemoteNumberingService::NumeraBoleto(
    const std::string& cdFilial, const std::string& nrLanBolRec, const std::string& cdReduCont,
    const std::string& sequencia, const std::string& linhaFormatada,
    const std::string& codigoBarras, const std::string& nossoNumero, const std::string& modelo) {
  std::string filial = cdFilial, lancamento = nrLanBolRec;
  CodigosArmazenados c{nossoNumero, codigoBarras, linhaFormatada, modelo, false};
  const auto result = remote::CheckResultServ(
      conn_.call("NumeraBoleto",
                 {remote::Arg::ref(filial), remote::Arg::ref(lancamento), cdReduCont, sequencia,
                  remote::Arg::ref(c.linhaFormatada), remote::Arg::ref(c.codigoBarras),
                  remote::Arg::ref(c.nossoNumero), remote::Arg::ref(c.modelo)}));
  c.novo = result.asInteger() == 1;
  return c;
}

CodigosArmazenados RemoteNumberingService::CodigosDoBoleto(const std::string& cdFilial,
                                                           const std::string& nrLanBolRec) {
  std::string filial = cdFilial, lancamento = nrLanBolRec;
  auto ds = load(remote::CheckResultServ(
      conn_.call("GetValidaNosNum", {remote::Arg::ref(filial), remote::Arg::ref(lancamento)})));
  CodigosArmazenados c;
  if (ds->isEmpty()) return c;
  auto field = [&](const char* name) {
    return ds->fieldIndex(name) >= 0 ? ds->valueOf(name).asString() : std::string();
  };
  c.nossoNumero = field("CDNOSNUMREC");
  c.codigoBarras = field("CDBARRAREC");
  c.linhaFormatada = field("DSLINHABARREC");
  c.modelo = field("IDMODELONUM");
  return c;
}

std::string RemoteNumberingService::GetVdDepIdent(const std::string& cdEmpresa,
                                                  const std::string& cdBanco) {
  auto ds = load(remote::CheckResultServ(conn_.call("GetVdDepIdent", {cdEmpresa, cdBanco})));
  return ds->isEmpty() ? std::string() : ds->valueOf("CDRESULT").asString();
}

InfoDepIdent RemoteNumberingService::GetInfoDepIdent(const std::string& cdBanco,
                                                     std::string& cdFilial,
                                                     std::string& nrLanBolRec) {
  const auto result = remote::CheckResultServ(conn_.call(
      "GetInfoDepIdent", {cdBanco, remote::Arg::ref(cdFilial), remote::Arg::ref(nrLanBolRec)}));
  InfoDepIdent info;
  const auto& items = result.items();
  // Element 1 is the packet with the cost centre, element 2 an error text or null.
  if (items.size() > 1 && items[1].isPacket()) {
    auto ds = load(items[1]);
    if (!ds->isEmpty()) info.CDCENTCUST = ds->valueOf("CDCENTCUST").asString();
  }
  if (items.size() > 2 && !items[2].isNull()) info.erro = items[2].asString();
  return info;
}

std::string RemoteNumberingService::GetSeqDepIdent(std::string& cdFilial) {
  return remote::CheckResultServ(conn_.call("GetSeqDepIdent", {remote::Arg::ref(cdFilial)}))
      .asString();
}

}  // namespace numbering
