// "Associar Boleto": the marked boletos of one customer replaced by one new boleto for their
// total. The command checks that they may be joined and proposes the new boleto as a new row
// of the list; the operator completes its collection data and the confirmation sends the
// association, which the service stores whole or not at all.

#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "register/HabContRec.h"

namespace rec {

using host::DatasetState;
using host::Value;

namespace {

bool editing(const host::ClientDataset& ds) {
  return ds.active() && (ds.state() == DatasetState::Edit || ds.state() == DatasetState::Insert);
}

}  // namespace

void TfrmHabContRec::addAssociationMessages() {
  auto& m = messages();
  m.Add("BOL_AGRUP_NC", "Nenhum boleto foi marcado para associação.");
  m.Add("Cliente_dif",
        "Boletos de clientes ou licenças de uso diferentes não podem ser associados.");
  m.Add("Bo_notAgrup", "Boletos de tipos de conta diferentes não podem ser associados.");
  m.Add("BOL_EMIT", "Boleto já emitido não pode ser associado.");
  m.Add("BolParcNAss", "Boleto parcelado não pode ser associado.");
  m.Add("BOL_PRO", "Boleto protestado não pode ser associado.");
  m.Add("BOL_DESCONT", "Boleto descontado não pode ser associado.");
  m.Add("OrcaDif", "Boletos de orçamentos de evento diferentes não podem ser associados.");
  m.Add("VENBOL_Dif",
        "Os boletos marcados têm vencimentos diferentes. Deseja informar o vencimento do novo "
        "boleto?");
  m.Add("AGRUPBOLCOMP",
        "Operação bloqueada! Boleto ligado a uma compensação não pode ser associado.");
  m.Add("NNUM_ASSOC",
        "O boleto associado é numerado na emissão: nosso número e código de barras não podem "
        "ser informados.");
  m.Add("BOL_NC", "Boleto não cadastrado.");
  m.Add("N_Boletos", "Marque dois ou mais boletos do mesmo cliente para associar.");
}

bool TfrmHabContRec::associacaoPendente() const {
  return hasRows() && markedTotal > 0 && host::AllTrim(current("NRLANBOLREC").asString()).empty() &&
         (listEditing() || (cdsBoletos.active() && cdsBoletos.changeCount() > 0));
}

void TfrmHabContRec::sbtAgrupaClick() {
  // 1.
  if (!cdsMarca.active() || cdsMarca.isEmpty()) error("BOL_AGRUP_NC");
  // 2.
  auto& list = grid("dbgPadrao");
  focus(list);
  list.setSelectedColumn(list.IndiceCol("IDMARCADO"));
  VerificaSitCNAB(current("IDSITUCNABR").asString());
  // 3. The service's verdict on the marked boletos, and the new boleto it proposes.
  // The keys of the marked boletos: the service judges them as it stores them.
  GravaChaveBoletosMarcados("B");
  remote::Variant answer;
  {
    host::WaitAnimation wait;
    answer = rpc::call(
        connection(),
        rpc::GetVerifAgrupamento{.cdsBoletos = remote::Variant::packet(cdsChaveBol.toPacket())});
  }
  if (!answer.isArray() || answer.items().size() < 6)
    host::MensErro("Resposta inesperada do serviço em GetVerifAgrupamento.");
  const auto& item = answer.items();
  const std::string code = host::AllTrim(item[0].asString());
  static const std::pair<const char*, const char*> kRefusals[] = {
      {"LICUSO", "Cliente_dif"},    {"BOLTPCTDIF", "Bo_notAgrup"}, {"BOLEMIT", "BOL_EMIT"},
      {"BOLPARC", "BolParcNAss"},   {"BOLCNAB", "BOL_ALTERADO"},   {"BOLPROT", "BOL_PRO"},
      {"BOLDESCONT", "BOL_DESCONT"}};
  if (code == "ENDCLIE") {
    showMsg("End_Empty", {Value(item[2].asString())});
    host::Abort();
  }
  for (const auto& [refused, key] : kRefusals) {
    if (code == refused) error(key);
  }
  // 4. to 7.
  if (nMarcEmitidos != 0) error("BOL_EMIT");
  if (klOrcamentos.Count() > 1) error("OrcaDif");
  if (klVencimentos.Count() > 1) {
    if (!ask("VENBOL_Dif")) host::Abort();
    control("edtDTVENBOLREC").setEnabled(true);
    control("lblDTVENBOLREC").setEnabled(true);
  }
  if (VerificaTBolCompensado("B")) error("AGRUPBOLCOMP");
  // 8. The new boleto, for the total of the marked ones.
  descricaoAssociacao = item[5].asString();
  novoBoletoAssociado.clear();
  const double total = markedTotal;
  cdsBoletos.append();
  if (!item[3].isNull())
    cdsBoletos.fieldByName("DTVENBOLREC").setValue(Value(item[3].value().asDate()));
  cdsBoletos.fieldByName("CDCLIENTE").setString(item[4].asString());
  cdsBoletos.fieldByName("CDEMPRESA").setString(company());
  cdsBoletos.fieldByName("VRBOLREC").setFloat(total);
  cdsBoletos.fieldByName("VRFINALBREC").setFloat(total);
  // The customer's fine and interest, now that the new boleto has a customer and a value.
  applyFineInterestDefaults();
  accountAtEditStart.clear();
  if (cdsCNABMsg.active()) {
    if (editing(cdsCNABMsg)) cdsCNABMsg.cancel();
    cdsCNABMsg.append();
  }
  control("memTXMENSBOLBOL").setText({});
  MostraDadosRec();
}

void TfrmHabContRec::confirmaAssociacao() {
  // 7.3.1 and 7.3.2
  if (current("DTVENBOLREC").isNull()) {
    focusField("edtDTVENBOLREC", "tshGeral");
    error("VENC_NI");
  }
  const host::DateTime due = current("DTVENBOLREC").asDate();
  for (cdsMarca.first(); !cdsMarca.eof(); cdsMarca.next()) {
    const Value emitted = cdsMarca.valueOf("DTEMISSAO");
    if (!emitted.isNull() && due.daysSince(emitted.asDate()) < 0) {
      control("edtDTVENBOLREC").setEnabled(true);
      control("lblDTVENBOLREC").setEnabled(true);
      focusField("edtDTVENBOLREC", "tshGeral");
      error("DtVen<DtEmi");
    }
  }
  // 7.3.3
  if (host::AllTrim(current("CDREDUCONT").asString()).empty()) {
    focusField("edtCDREDUCONT", "tshGeral");
    error("CCOB_INF");
  }
  if (host::AllTrim(current("CDTPBAIXAREC").asString()).empty()) {
    focusField("edtCDTPBAIXAREC", "tshGeral");
    error("TPBX_INF");
  }
  // 7.3.4 The boletos it replaces keep their payment types until the association is stored:
  // the account is the new boleto's own, not a change of theirs.
  if (!listEditing()) cdsBoletos.edit();
  accountAtEditStart = host::AllTrim(current("CDREDUCONT").asString());
  verificaDadosCobranca();
  // 7.3.5
  if (editing(cdsCNABMsg)) cdsCNABMsg.post();
  if (listEditing()) cdsBoletos.post();
  if (cdsIncBoleto.fieldCount() == 0)
    cdsIncBoleto.setFieldDefs(records::cdsIncBoletoConjuga().fields());
  if (!cdsIncBoleto.active()) cdsIncBoleto.createDataset();
  cdsIncBoleto.emptyDataset();
  cdsIncBoleto.append();
  for (const auto& def : records::cdsIncBoletoConjuga().fields()) {
    if (def.name == "CDFILIAL" || def.name == "NRLANBOLREC") {
      cdsIncBoleto.fieldByName(def.name).setValue(cdsMarca.valueOf(def.name));
    } else if (def.name == "FTR_DSBOLETREC") {
      cdsIncBoleto.fieldByName(def.name).setString(descricaoAssociacao);
    } else {
      cdsIncBoleto.fieldByName(def.name).setValue(current(def.name));
    }
  }
  cdsIncBoleto.post();
  // 7.3.6
  remote::Result r;
  {
    host::WaitAnimation wait;
    r = rpc::tryCall(
        connection(),
        rpc::AgrupaBoleto{.FiliProc = host::FiliProc(),
                          .CDEMPRESA = company(),
                          .unused = 0.0,
                          .total = host::RoundDec(2, markedTotal),
                          .cdsMarca = remote::Variant::packet(cdsMarca.toPacket()),
                          .cdsIncBoleto = remote::Variant::packet(cdsIncBoleto.toPacket()),
                          .TXMENSBOLBOL = control("memTXMENSBOLBOL").text()});
  }
  remote::Variant answer;
  try {
    answer = remote::CheckResultServ(r);
  } catch (const host::ServiceError& e) {
    // Nothing was stored: the new boleto stays on screen as typed, to correct or cancel.
    cdsIncBoleto.emptyDataset();
    if (!listEditing()) cdsBoletos.edit();
    const std::string key = e.key();
    for (const char* shown : {"CNT_DUP", "VRBOL_Dif", "ALT_BLOQ", "NNUM_ASSOC", "DtVen<DtEmi",
                              "CCOB_INF", "TPBX_INF", "VENC_NI", "Cliente_dif", "N_Boletos"}) {
      if (key == shown) error(key);
    }
    for (const char* several : {"BOL_BAIXADO", "CNT_PREV", "CNT_PROR"}) {
      if (key == several) error(std::string("2") + several);
    }
    Desmarca_Boletos();
    throw;
  } catch (...) {
    cdsIncBoleto.emptyDataset();
    if (!listEditing()) cdsBoletos.edit();
    throw;
  }
  novoBoletoAssociado = answer.asString();
  // The list, the marks and the new-boleto data go: the reload shows the new boleto and no
  // longer the boletos it replaced, and no mark comes back.
  cdsBoletos.mergeChangeLog();
  cdsBoletos.emptyDataset();
  cdsMarca.emptyDataset();
  cdsMarcaAux.emptyDataset();
  cdsIncBoleto.emptyDataset();
  descricaoAssociacao.clear();
  clearMarking();
}

void TfrmHabContRec::localizaNovoBoleto() {
  const std::string key = novoBoletoAssociado;
  novoBoletoAssociado.clear();
  if (key.size() != 14 || !hasRows()) return;
  cdsBoletos.locate(records::kBoletoKeyFields, {Value(key.substr(0, 4)), Value(key.substr(4))});
}

}  // namespace rec
