#include "carne/Cli_rec01200.h"

#include <fmt/format.h>

#include <set>

#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Errors.h"
#include "module/Creator.h"
#include "module/Creators.h"
#include "module/SharedConnection.h"
#include "numbering/BankAccountRow.h"
#include "numbering/Numerador.h"
#include "numbering/RemoteNumberingService.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "remote/Connection.h"

namespace rec {

namespace fld = records::fld;
using host::Value;

namespace {

TfrmImprimeCarne* g_instance = nullptr;

std::string text(const host::ClientDataset& ds, size_t r, const records::Field& f) {
  return host::AllTrim(ds.valueAt(r, f).asString());
}

/// The carteira code of a boleto's collection: "01" registered by the bank, "02" by the
/// company, "03" without registration.
std::string carteiraCode(const std::string& idCart, const std::string& idForm) {
  if (idCart == "1" && idForm == "1") return "01";
  if (idCart == "1" && idForm == "2") return "02";
  return "03";
}

}  // namespace

TfrmImprimeCarne::TfrmImprimeCarne()
    : TfrmDadosGerRel("TfrmImprimeCarne", "REC01200", "Carnê", "REC01200") {
  for (const auto& [key, message] : std::vector<std::pair<std::string, std::string>>{
           {"ESTRUT_CONFIG",
            "Operação bloqueada! Descrição do nosso número da conta cobrança "
            "não está parametrizada."},
           {"ERR_GERA_NOSNUM",
            "Ocorreu um erro na geração do nosso número. Verifique as parametrizações de "
            "descrição do nosso número e código do banco na câmera de compensação."},
           {"BANCO_Dif",
            "Boletos de contas cobrança diferentes não podem ser impressos no mesmo carnê: %s."},
           {"BOL_NI", "Nenhum boleto selecionado."},
       })
    messages().Add(key, message);
  addControl("chbParcelas", host::ControlKind::Check).setCaption("Imprime parcelas relacionadas");
  addRelatorio({"CARNE", "Carnê (três boletos por página)"});
  cdsCriaLista.setFieldDefs(records::cdsCriaLista().fields());
  cdsCriaLista.createDataset();
  cdsCriaListaAux2.setFieldDefs({fld::CDFILIFIS.def(), fld::NRLANBOLREC.def()});
  cdsCriaListaAux2.createDataset();
  g_instance = this;
}

TfrmImprimeCarne* frmImprimeCarne() {
  return g_instance;
}

void TfrmImprimeCarne::Abre(const records::EmissionOrder& order) {
  if (order.cdsBolEmitOrd.fieldCount() > 0) records::cdsBolEmitOrd().requireIn(order.cdsBolEmitOrd);
  if (order.klContas.Count() == 0) error("BOL_NI");
  order_.emplace(order);
  ensureConnected();
  setCompany(netHabContRec().company());
  if (order.BaixaRelatorio) setRefresh(order.BaixaRelatorio);
  ProcuraRelatorios();
  std::string code = order.klContas.Key(0);
  fetchBankAccount(netHabContRec(), code, cdsContCorr);
  if (cdsContCorr.isEmpty())
    host::MensErro(fmt::format("Conta cobrança {} não encontrada.", order.klContas.Key(0)));
}

void TfrmImprimeCarne::adiciona(const std::string& key) {
  for (const auto& k : ordem_)
    if (host::UpperCase(k) == host::UpperCase(key)) return;
  ordem_.push_back(key);
  cdsCriaLista.append();
  cdsCriaLista.fieldByName(fld::CDLISTA).setString(key);
  cdsCriaLista.post();
}

void TfrmImprimeCarne::Prepara(bool printing) {
  BOLETO_CHECK(order_.has_value(), "the carnê was opened without an order");
  const records::EmissionOrder& order = *order_;
  cdsCriaLista.emptyDataset();
  cdsCriaListaAux2.emptyDataset();
  ordem_.clear();
  carteira_ = order.klCarteira;
  const std::string account = host::AllTrim(cdsContCorr.valueOf(fld::CDREDUCONT).asString());

  order.AplicaOrdemImpres();
  auto& ds = order.cdsBolEmitOrd;
  const bool related = control("chbParcelas").checked();
  for (ds.first(); ds.active() && !ds.eof(); ds.next()) {
    const std::string branch = host::AllTrim(ds.valueOf(fld::CDFILIAL).asString());
    const std::string number = host::AllTrim(ds.valueOf(fld::NRLANBOLREC).asString());
    if (!related) {
      adiciona(branch + number);
      continue;
    }
    host::ClientDataset parts("cdsParcContBol");
    loadRecordRows(rpc::call(netHabContRec(),
                             rpc::GetParcContBol{
                                 .CDFILIAL = branch, .NRLANBOLREC = number, .relacionadas = "S"}),
                   parts, records::cdsParcContBol());
    if (parts.isEmpty()) {
      adiciona(branch + number);
      continue;
    }
    for (size_t r = 1; r <= parts.recordCount(); ++r) {
      const std::string key = text(parts, r, fld::CDFILIFIS) + text(parts, r, fld::NRLANBOLREC);
      if (text(parts, r, fld::CDREDUCONT) != account)
        error("BANCO_Dif", {fmt::format("{}/{} na conta {}", key.substr(0, 4), key.substr(4),
                                        text(parts, r, fld::CDREDUCONT))});
      cdsCriaListaAux2.append();
      cdsCriaListaAux2.fieldByName(fld::CDFILIFIS).setString(key.substr(0, 4));
      cdsCriaListaAux2.fieldByName(fld::NRLANBOLREC).setString(key.substr(4));
      cdsCriaListaAux2.post();
      if (!carteira_.Contains(key)) {
        const std::string parcela = text(parts, r, fld::NRPARCBOLREC);
        carteira_.Add(key,
                      host::KeyValue(std::vector<Value>{
                          parts.valueAt(r, fld::CDCARTCOBBOL), parts.valueAt(r, fld::CDCONTCORR),
                          parts.valueAt(r, fld::DTVENBOLREC), parts.valueAt(r, fld::VRFINALBREC),
                          parts.valueAt(r, fld::CDTPBAIXAREC), parts.valueAt(r, fld::IDSTATBREC),
                          Value(carteiraCode(text(parts, r, fld::IDCARTCOBREC),
                                             text(parts, r, fld::IDFORMCADBREC))),
                          Value(parcela == "00" || parcela.empty() ? std::string("001")
                                                                   : host::Ajusta(parcela, 3))}));
      }
      adiciona(key);
    }
  }
  if (ordem_.empty()) error("BOL_NI");
  numera();

  const auto answer =
      rpc::call(netHabContRec(),
                rpc::CriaLista{.cdsCriaLista = remote::Variant::packet(cdsCriaLista.toPacket()),
                               .CDFILIAL = ordem_.back().substr(0, 4)});
  const auto items = answer.items();
  if (items.size() < 2 || !items[1].isPacket())
    host::MensErro("Resposta inesperada do serviço em CriaLista.");
  cdsCriaListaAux.loadPacket(items[1].packetJson());

  pFilial_.clear();
  pLancamentos_.clear();
  pChaves_.clear();
  for (const auto& key : ordem_) {
    pFilial_ = key.substr(0, 4);
    pLancamentos_ += "_" + key.substr(4);
    pChaves_ += "_" + key;
  }
  (void)printing;
}

void TfrmImprimeCarne::numera() {
  const records::EmissionOrder& order = *order_;
  numbering::BankAccountRow conta = numbering::BankAccountRowOf(cdsContCorr);
  numbering::NormalizaBanco(conta);
  numbering::RemoteNumberingService servico(netHabContRec());
  numbering::Numerador numerador(conta, carteira_, servico);
  numerador.setDataProcessamento(host::DataProc());
  const std::string forma = conta.formaCadastro();

  // The codes the emission order already holds; the others are asked of the service.
  std::set<std::string> coded;
  auto& ds = order.cdsBolEmitOrd;
  for (size_t r = 1; ds.active() && r <= ds.recordCount(); ++r)
    if (!text(ds, r, fld::CDNOSNUMREC).empty() && text(ds, r, fld::CDBARRAREC).size() == 44)
      coded.insert(text(ds, r, fld::CDFILIAL) + text(ds, r, fld::NRLANBOLREC));

  std::vector<std::string> missing;
  for (const auto& key : ordem_) {
    if (coded.count(key)) continue;
    const std::string branch = key.substr(0, 4), number = key.substr(4);
    const numbering::CodigosArmazenados s = servico.CodigosDoBoleto(branch, number);
    if (s.nossoNumero.empty()) {
      missing.push_back(key);
      continue;
    }
    if (!s.codigoBarras.empty()) continue;
    // A number without its barcode gets the barcode of that number, never another number.
    auto seq = numerador.SequenciaDoNossoNumero(branch, number, s.nossoNumero);
    if (!seq) error("ERR_GERA_NOSNUM");
    auto made = numerador.Gera_CodigodeBarra(branch, number, *seq, false,
                                             numbering::Modelo::Completo1, forma);
    if (!made) error("ERR_GERA_NOSNUM");
  }
  if (missing.empty()) return;
  if (numerador.seqSize() == 0) error("ESTRUT_CONFIG");
  numerador.Valida_Faixa_Numerica(numbering::Modelo::Completo1, forma,
                                  static_cast<int>(missing.size()));
  const std::string account = conta.CDREDUCONT;
  for (const auto& key : missing) {
    auto codes = numerador.Gera_CodigodeBarra(key.substr(0, 4), key.substr(4),
                                              servico.GetNossoNumero("NOSSONUMERO" + account), true,
                                              numbering::Modelo::Completo1, forma);
    if (!codes || !codes->armazenado) error("ERR_GERA_NOSNUM");
  }
}

Value TfrmImprimeCarne::Parametro(const std::string& name) {
  if (name == "P_CDFILIAL") return pFilial_;
  if (name == "P_NRLANBOLREC") return pLancamentos_;
  if (name == "P_CONTREC") return std::string(control("chbParcelas").checked() ? "S" : "N");
  if (name == "P_CHAVES") return pChaves_;
  if (name == "NRLISTA" && cdsCriaListaAux.active() && !cdsCriaListaAux.isEmpty())
    return cdsCriaListaAux.valueAt(1, fld::NRLISTA);
  return {};
}

void TfrmImprimeCarne::AposImprimir() {
  // Recorded as emitted once the carnê went out whole, not before: a print that failed
  // leaves the boletos as they were.
  for (size_t r = 1; cdsCriaListaAux.active() && r <= cdsCriaListaAux.recordCount(); ++r)
    rpc::call(netHabContRec(),
              rpc::AltBoletos{.count = static_cast<int64_t>(ordem_.size()),
                              .NRLISTA = cdsCriaListaAux.valueAt(r, fld::NRLISTA).asString(),
                              .CDLISTA = cdsCriaListaAux.valueAt(r, fld::CDLISTA).asString()});
  setModalResult(host::mrOk);
  close();
}

int CriaImprimeCarne(const records::EmissionOrder& order) {
  auto slot = ScreenSlot<TfrmImprimeCarne>::perCall();
  CreatorSteps<TfrmImprimeCarne> steps;
  steps.hourglass = false;
  steps.make = [] { return std::make_unique<TfrmImprimeCarne>(); };
  steps.prepare = [&](TfrmImprimeCarne& f) { f.Abre(order); };
  steps.show = [](TfrmImprimeCarne&) { return Show::Modal; };
  const int result = runCreator(slot, steps);
  if (g_instance == slot.instance()) g_instance = nullptr;
  return result;
}

void InstalaImprimeCarne() {
  creators().CriaImprimeCarne = &CriaImprimeCarne;
}

}  // namespace rec
