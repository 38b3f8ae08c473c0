#include "numbering/RemoteNumberingService.h"

#include <memory>

#include "host/ClientDataset.h"
#include "records/Methods.h"
#include "records/Tables.h"
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
  return rpc::call(conn_, rpc::GetNossoNumero{.sequence = sequence}).asString();
}

std::vector<NossoNumeroEmUso> RemoteNumberingService::GetValNosNumero(
    std::string& nossoNumero, const std::string& cdReduCont) {
  using namespace records::fld;
  auto ds = load(
      rpc::call(conn_, rpc::GetValNosNumero{.CDNOSNUMREC = nossoNumero, .CDREDUCONT = cdReduCont}));
  std::vector<NossoNumeroEmUso> out;
  for (ds->first(); !ds->eof(); ds->next()) {
    out.push_back({ds->valueOf(CDNOSNUMREC).asString(), ds->valueOf(CDREDUCONT).asString()});
  }
  return out;
}

void RemoteNumberingService::SetCodBarra(rpc::SetCodBarra codigos) {
  rpc::call(conn_, codigos);
}

CodigosArmazenados RemoteNumberingService::NumeraBoleto(
    const std::string& cdFilial, const std::string& nrLanBolRec, const std::string& cdReduCont,
    const std::string& sequencia, const std::string& linhaFormatada,
    const std::string& codigoBarras, const std::string& nossoNumero, const std::string& modelo) {
  std::string filial = cdFilial, lancamento = nrLanBolRec;
  CodigosArmazenados c{nossoNumero, codigoBarras, linhaFormatada, modelo, false};
  const auto result = rpc::call(conn_, rpc::NumeraBoleto{.CDFILIAL = filial,
                                                         .NRLANBOLREC = lancamento,
                                                         .CDREDUCONT = cdReduCont,
                                                         .NRSEQUENCIA = sequencia,
                                                         .DSLINHABARREC = c.linhaFormatada,
                                                         .CDBARRAREC = c.codigoBarras,
                                                         .CDNOSNUMREC = c.nossoNumero,
                                                         .IDBOLEMITIDO = c.modelo});
  c.novo = result.asInteger() == 1;
  return c;
}

CodigosArmazenados RemoteNumberingService::CodigosDoBoleto(const std::string& cdFilial,
                                                           const std::string& nrLanBolRec) {
  std::string filial = cdFilial, lancamento = nrLanBolRec;
  auto ds =
      load(rpc::call(conn_, rpc::GetValidaNosNum{.CDFILIAL = filial, .NRLANBOLREC = lancamento}));
  CodigosArmazenados c;
  if (ds->isEmpty()) return c;
  auto field = [&](const char* name) { return ds->valueOf(name).asString(); };
  c.nossoNumero = field("CDNOSNUMREC");
  c.codigoBarras = field("CDBARRAREC");
  c.linhaFormatada = field("DSLINHABARREC");
  c.modelo = field("IDMODELONUM");
  return c;
}

std::string RemoteNumberingService::GetVdDepIdent(const std::string& cdEmpresa,
                                                  const std::string& cdBanco) {
  auto ds = load(rpc::call(conn_, rpc::GetVdDepIdent{.CDEMPRESA = cdEmpresa, .CDBANCO = cdBanco}));
  return ds->isEmpty() ? std::string() : ds->valueOf(records::fld::CDRESULT).asString();
}

InfoDepIdent RemoteNumberingService::GetInfoDepIdent(const std::string& cdBanco,
                                                     std::string& cdFilial,
                                                     std::string& nrLanBolRec) {
  const auto result = rpc::call(
      conn_,
      rpc::GetInfoDepIdent{.CDBANCO = cdBanco, .CDFILIAL = cdFilial, .NRLANBOLREC = nrLanBolRec});
  InfoDepIdent info;
  const auto& items = result.items();
  // Element 1 is the packet with the cost centre, element 2 an error text or null.
  if (items.size() > 1 && items[1].isPacket()) {
    auto ds = load(items[1]);
    if (!ds->isEmpty()) info.CDCENTCUST = ds->valueOf(records::fld::CDCENTCUST).asString();
  }
  if (items.size() > 2 && !items[2].isNull()) info.erro = items[2].asString();
  return info;
}

std::string RemoteNumberingService::GetSeqDepIdent(std::string& cdFilial) {
  return rpc::call(conn_, rpc::GetSeqDepIdent{.CDFILIAL = cdFilial}).asString();
}

}  // namespace numbering
