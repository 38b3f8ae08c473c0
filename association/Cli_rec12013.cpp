#include "association/Cli_rec12013.h"

#include <fmt/format.h>

#include <cmath>
#include <set>

#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/HostDatabase.h"
#include "module/Creator.h"
#include "module/Creators.h"
#include "module/SharedConnection.h"
#include "module/Units.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "remote/Connection.h"

namespace rec {

namespace fld = records::fld;
using host::Value;

namespace {

TfrmConjulgarBoleto* g_instance = nullptr;

std::optional<host::DateTime> dateOf(const host::Control& c) {
  const std::string t = host::AllTrim(c.text());
  if (t.empty()) return std::nullopt;
  return host::DateTime::parse(t, "dd/mm/yyyy");
}

std::vector<std::string> listItems(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= text.size()) {
    size_t comma = text.find(',', at);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = host::AllTrim(text.substr(at, comma - at));
    if (!item.empty()) out.push_back(item);
    at = comma + 1;
  }
  return out;
}

/// Codes picked from a query's rows (the host's multi-pick), as the list text "code,code";
/// `current` is ticked when the list opens. Nothing when the operator cancels.
std::optional<std::string> pickCodes(const std::string& title, host::ClientDataset& rows,
                                     const records::Field& key, const records::Field& name,
                                     const std::string& current) {
  std::vector<std::string> items, codes;
  std::vector<int> marked;
  const auto ticked = listItems(current);
  for (size_t r = 1; r <= rows.recordCount(); ++r) {
    const std::string code = host::AllTrim(rows.valueAt(r, key).asString());
    codes.push_back(code);
    items.push_back(code + " - " + host::AllTrim(rows.valueAt(r, name).asString()));
    if (std::find(ticked.begin(), ticked.end(), code) != ticked.end())
      marked.push_back(static_cast<int>(r - 1));
  }
  auto picked = host::dialogs().pickMany(title, items, marked);
  if (!picked) return std::nullopt;
  std::string list;
  for (int i : *picked) {
    if (i < 0 || static_cast<size_t>(i) >= codes.size()) continue;
    if (!list.empty()) list += ",";
    list += codes[static_cast<size_t>(i)];
  }
  return list;
}

void copyRow(const host::ClientDataset& from, host::ClientDataset& to) {
  to.append();
  for (const auto& def : to.fieldDefs())
    if (from.fieldIndex(def.name) >= 0) to.fieldByName(def.name).setValue(from.valueOf(def.name));
  to.post();
}

}  // namespace

TfrmConjulgarBoleto::TfrmConjulgarBoleto()
    : host::ScreenModel("TfrmConjulgarBoleto", "REC12013", "Conjugar Boleto") {
  messages() = host::TMessages{
      {"Cliente_Empty", "Não há cliente cadastrado."},
      {"Cliente", "Cliente"},
      {"Filial_Empty", "Não há filial cadastrada."},
      {"Filial", "Filial"},
      {"CCC_INF", "Conta corrente deve ser informada."},
      {"CCC_N_CAD", "Conta corrente não cadastrada."},
      {"TPBX_INF", "Tipo de baixa deve ser informada."},
      {"TPBX_N_CAD", "Tipo de baixa não cadastrada."},
      {"Clie_inf", "Cliente deve ser informado."},
      {"Filial_inf", "Filial deve ser informada."},
      {"DtDE_Info", "Data do período deve ser informada."},
      {"DtATE_Info", "Data do período deve ser informada."},
      {"DtVenc_Info", "Data do vencimento deve ser informada."},
      {"dtVenci<dtEmissao", "Vencimento informado deve ser maior ou igual a data de emissão %s."},
      {"N_Boletos", "Não foram encontrados Boletos para serem associados."},
      {"SUCESSO", "Boletos associados com sucesso."},
      {"DtPeriodo_menor",
       "Data inicial do período deve ser menor ou igual a data do período final."},
      // A date typed that is no date: the confirm must not read it as blank.
      {"Data_Inv", "Data inválida: %s."},
  };
  auto& clients = addControl("rgpCliente", host::ControlKind::Radio);
  clients.setCaption("Cliente");
  clients.setItems({"Todos", "Lista"});
  clients.setItemIndex(0);
  clients.onChange = [this] { rgpClienteClick(); };
  addControl("sbtPesqCliente", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtPesqClienteClick(); });
  };
  addControl("edtListaCliente", host::ControlKind::Edit).setReadOnly(true);
  auto& branches = addControl("rgpFilial", host::ControlKind::Radio);
  branches.setCaption("Filial de Origem");
  branches.setItems({"Todas", "Lista"});
  branches.setItemIndex(0);
  branches.onChange = [this] { rgpFilialClick(); };
  addControl("sbtPesqFilial", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtPesqFilialClick(); });
  };
  addControl("edtListaFilial", host::ControlKind::Edit).setReadOnly(true);
  addControl("edtDtDe", host::ControlKind::Edit);
  addControl("edtDtAte", host::ControlKind::Edit);
  addControl("edtDtVenc", host::ControlKind::Edit);
  auto& account = addControl("edtCdReduCont", host::ControlKind::Edit);
  account.onExit = [this] { Vd_CdReduCont(false); };
  account.onChange = [this] {
    for (const char* l : {"lblBanco", "lblAgencia", "lblConta"}) control(l).setText("");
  };
  addControl("sbtPesqConta", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtPesqContaClick(); });
  };
  addControl("lblBanco", host::ControlKind::Label);
  addControl("lblAgencia", host::ControlKind::Label);
  addControl("lblConta", host::ControlKind::Label);
  auto& type = addControl("edtCdTpBaixa", host::ControlKind::Edit);
  type.onExit = [this] { Vd_TipoBaixa(false); };
  type.onChange = [this] { control("lblNmTpBaixa").setText(""); };
  addControl("sbtPesqTpBaixa", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtPesqTpBaixaClick(); });
  };
  addControl("lblNmTpBaixa", host::ControlKind::Label);
  addControl("sbtConfirmar", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtConfirmarClick(); });
  };
  addControl("sbtCancelar", host::ControlKind::Button).onClick = [this] { sbtCancelarClick(); };
  for (const char* c : {"sbtConfirmar", "sbtCancelar"})
    control(c).setCaption(std::string(c) == "sbtConfirmar" ? "Confirmar" : "Cancelar");
  rgpClienteClick();
  rgpFilialClick();

  cdsBuscaBoletos.setFieldDefs(records::cdsBuscaBoletos().fields());
  cdsBoletosAux.setFieldDefs(records::cdsBuscaBoletos().fields());
  cdsIncBoleto.setFieldDefs(records::cdsIncBoletoConjuga().fields());
  cdsAux.setFieldDefs(records::cdsIncBoletoConjuga().fields());
  cdsBolRec.setFieldDefs(records::cdsBolRec().fields());
  for (auto* ds : {&cdsBuscaBoletos, &cdsBoletosAux, &cdsIncBoleto, &cdsAux, &cdsBolRec})
    ds->createDataset();
  g_instance = this;
}

TfrmConjulgarBoleto* frmConjulgarBoleto() {
  return g_instance;
}

void TfrmConjulgarBoleto::rgpClienteClick() {
  control("sbtPesqCliente").setEnabled(control("rgpCliente").itemIndex() == 1);
}

void TfrmConjulgarBoleto::rgpFilialClick() {
  control("sbtPesqFilial").setEnabled(control("rgpFilial").itemIndex() == 1);
}

void TfrmConjulgarBoleto::sbtPesqClienteClick() {
  if (control("rgpCliente").itemIndex() != 1) return;
  host::TADOIBQuery q("qryClienteConjuga");
  q.ParamByName("P_CLIENTE") = std::string();
  q.ParamByName("TCLIENTE") = std::string("T");
  q.Open();
  if (q.IsEmpty()) error("Cliente_Empty");
  auto list = pickCodes(messages().Msg("Cliente"), q.dataset(), fld::CDCLIENTE, fld::NMRAZSOCCLIE,
                        stListaCliente);
  q.Close();
  if (!list) return;
  stListaCliente = *list;
  control("edtListaCliente").setText(stListaCliente);
}

void TfrmConjulgarBoleto::sbtPesqFilialClick() {
  if (control("rgpFilial").itemIndex() != 1) return;
  host::TADOIBQuery q("qryFilial");
  q.Open();
  if (q.IsEmpty()) error("Filial_Empty");
  auto list =
      pickCodes(messages().Msg("Filial"), q.dataset(), fld::CDFILIAL, fld::NMFILIAL, stListaFilial);
  q.Close();
  if (!list) return;
  stListaFilial = *list;
  control("edtListaFilial").setText(stListaFilial);
}

void TfrmConjulgarBoleto::sbtPesqContaClick() {
  host::TADOIBQuery q("qryContCorr");
  q.ParamByName("P_CDREDUCONT") = std::string();
  q.ParamByName("P_TCDREDUCONT") = std::string("T");
  q.Open();
  if (q.IsEmpty()) error("CCC_N_CAD");
  auto& rows = q.dataset();
  std::vector<std::string> items;
  for (size_t r = 1; r <= rows.recordCount(); ++r)
    items.push_back(fmt::format("{} - {} {} {}", rows.valueAt(r, fld::CDREDUCONT).asString(),
                                rows.valueAt(r, fld::CDBANCO).asString(),
                                rows.valueAt(r, fld::CDAGENCIA).asString(),
                                rows.valueAt(r, fld::CDCONTCORR).asString()));
  auto picked = host::dialogs().pickList(caption(), items);
  if (!picked || *picked < 0 || static_cast<size_t>(*picked) >= items.size()) return;
  control("edtCdReduCont")
      .setText(rows.valueAt(static_cast<size_t>(*picked) + 1, fld::CDREDUCONT).asString());
  Vd_CdReduCont(false);
}

void TfrmConjulgarBoleto::sbtPesqTpBaixaClick() {
  host::TADOIBQuery q("qryTipoBaixa");
  q.ParamByName("P_CDTPBAIXAREC") = std::string();
  q.ParamByName("P_TCDTPBAIXAREC") = std::string("T");
  q.Open();
  if (q.IsEmpty()) error("TPBX_N_CAD");
  auto& rows = q.dataset();
  std::vector<std::string> items;
  for (size_t r = 1; r <= rows.recordCount(); ++r)
    items.push_back(rows.valueAt(r, fld::CDTPBAIXAREC).asString() + " - " +
                    rows.valueAt(r, fld::NMTPBAIXAREC).asString());
  auto picked = host::dialogs().pickList(caption(), items);
  if (!picked || *picked < 0 || static_cast<size_t>(*picked) >= items.size()) return;
  control("edtCdTpBaixa")
      .setText(rows.valueAt(static_cast<size_t>(*picked) + 1, fld::CDTPBAIXAREC).asString());
  Vd_TipoBaixa(false);
}

void TfrmConjulgarBoleto::Vd_CdReduCont(bool mandatory) {
  auto& field = control("edtCdReduCont");
  if (host::EmptyString(field.text())) {
    if (mandatory) failOn("edtCdReduCont", "CCC_INF");
    return;
  }
  const std::string code = host::Ajusta(host::AllTrim(field.text()), fld::CDREDUCONT.width());
  host::TADOIBQuery q("qryContCorr");
  q.ParamByName("P_CDREDUCONT") = code;
  q.ParamByName("P_TCDREDUCONT") = std::string();
  q.Open();
  if (q.IsEmpty()) failOn("edtCdReduCont", "CCC_N_CAD");
  field.setText(code);
  const auto masked = [](const Value& v, const Value& picture) {
    const std::string mask = host::AllTrim(picture.asString());
    const std::string text = host::AllTrim(v.asString());
    return mask.empty() ? text : host::FormatMaskText(mask + ";0; ", text);
  };
  control("lblBanco").setText(q.FieldByName("CDBANCO").asString());
  control("lblAgencia").setText(masked(q.FieldByName("CDAGENCIA"), q.FieldByName("CDPICTAGEN")));
  control("lblConta").setText(masked(q.FieldByName("CDCONTCORR"), q.FieldByName("CDPICTCONT")));
  q.Close();
}

void TfrmConjulgarBoleto::Vd_TipoBaixa(bool mandatory) {
  auto& field = control("edtCdTpBaixa");
  if (host::EmptyString(field.text())) {
    if (mandatory) failOn("edtCdTpBaixa", "TPBX_INF");
    return;
  }
  const std::string code = host::Ajusta(host::AllTrim(field.text()), fld::CDTPBAIXAREC.width());
  host::TADOIBQuery q("qryTipoBaixa");
  q.ParamByName("P_CDTPBAIXAREC") = code;
  q.ParamByName("P_TCDTPBAIXAREC") = std::string();
  q.Open();
  if (q.IsEmpty()) failOn("edtCdTpBaixa", "TPBX_N_CAD");
  field.setText(code);
  control("lblNmTpBaixa").setText(q.FieldByName("NMTPBAIXAREC").asString());
  q.Close();
}

void TfrmConjulgarBoleto::sbtConfirmarClick() {
  // 1. Fresh datasets and the "all" flags.
  for (auto* ds : {&cdsBuscaBoletos, &cdsBoletosAux, &cdsIncBoleto, &cdsAux, &cdsBolRec})
    ds->emptyDataset();
  novos_.clear();
  std::string todosClientes, todasFiliais;
  if (control("rgpCliente").itemIndex() == 0) {
    stListaCliente.clear();
    control("edtListaCliente").setText("");
    todosClientes = "T";
  }
  if (control("rgpFilial").itemIndex() == 0) {
    stListaFilial.clear();
    control("edtListaFilial").setText("");
    todasFiliais = "T";
  }

  // 2. The checks, stopping at the first.
  if (todosClientes.empty() && host::EmptyString(stListaCliente)) error("Clie_inf");
  if (todasFiliais.empty() && host::EmptyString(stListaFilial) && !host::ModuFili())
    error("Filial_inf");
  const auto date = [this](const char* name, const char* blankKey) {
    if (host::EmptyString(control(name).text())) failOn(name, blankKey);
    auto d = dateOf(control(name));
    if (!d) failOn(name, "Data_Inv", {control(name).text()});
    return *d;
  };
  const host::DateTime from = date("edtDtDe", "DtDE_Info");
  const host::DateTime to = date("edtDtAte", "DtATE_Info");
  if (to < from) failOn("edtDtAte", "DtPeriodo_menor");
  const host::DateTime due = date("edtDtVenc", "DtVenc_Info");
  Vd_CdReduCont(true);
  Vd_TipoBaixa(true);
  const std::string account = host::AllTrim(control("edtCdReduCont").text());
  const std::string type = host::AllTrim(control("edtCdTpBaixa").text());

  ensureConnected();
  auto& conn = netHabContRec();
  // 3. The candidates.
  {
    host::WaitAnimation wait;
    std::string clientes = stListaCliente, filiais = stListaFilial;
    loadRecordRows(rpc::call(conn, rpc::GetBuscaBoletos{.clientes = clientes,
                                                        .filiais = filiais,
                                                        .CDEMPRESA = empresa_,
                                                        .todosClientes = todosClientes,
                                                        .todasFiliais = todasFiliais,
                                                        .periodFrom = from,
                                                        .periodTo = to}),
                   cdsBuscaBoletos, records::cdsBuscaBoletos());
  }
  if (cdsBuscaBoletos.isEmpty()) error("N_Boletos");

  // 4 and 5. Boletos in clearing or part of an instalment plan are never joined.
  for (size_t r = cdsBuscaBoletos.recordCount(); r >= 1; --r) {
    cdsBuscaBoletos.setRecNo(r);
    const std::string branch = cdsBuscaBoletos.valueOf(fld::CDFILIAL).asString();
    const std::string number = cdsBuscaBoletos.valueOf(fld::NRLANBOLREC).asString();
    bool drop = rpc::call(conn, rpc::GetVdCompensacao{.CDFILIAL = branch, .NRLANBOLREC = number})
                    .asInteger() == 1;
    if (!drop) {
      std::string b = branch, n = number, o = cdsBuscaBoletos.valueOf(fld::NRORIGBOLREC).asString();
      host::ClientDataset parts("cdsParcelamento");
      loadRecordRows(
          rpc::call(conn, rpc::GetParcelamento{.CDFILIAL = b, .NRLANBOLREC = n, .NRORIGBOLREC = o}),
          parts, records::cdsParcelamento());
      drop = parts.recordCount() >= 2;
    }
    if (drop) cdsBuscaBoletos.deleteRecord();
  }

  // 6. One working row per customer from its first candidate, with the sums of all of them.
  for (size_t r = 1; r <= cdsBuscaBoletos.recordCount(); ++r) {
    cdsBuscaBoletos.setRecNo(r);
    copyRow(cdsBuscaBoletos, cdsBoletosAux);
  }
  std::set<std::string> done;
  std::map<std::string, std::vector<size_t>> rowsOf;
  for (size_t r = 1; r <= cdsBoletosAux.recordCount(); ++r)
    rowsOf[cdsBoletosAux.valueAt(r, fld::CDCLIENTE).asString()].push_back(r);
  for (size_t r = 1; r <= cdsBoletosAux.recordCount(); ++r) {
    const std::string customer = cdsBoletosAux.valueAt(r, fld::CDCLIENTE).asString();
    if (!done.insert(customer).second) continue;
    int64_t gross = 0, net = 0;
    for (size_t k : rowsOf[customer]) {
      gross += std::llround(host::RoundDec(2, cdsBoletosAux.valueAt(k, fld::VRBOLREC).asDouble()) *
                            100.0);
      net += std::llround(host::RoundDec(2, cdsBoletosAux.valueAt(k, fld::VRFINALBREC).asDouble()) *
                          100.0);
    }
    cdsBoletosAux.setRecNo(r);
    cdsAux.emptyDataset();
    copyRow(cdsBoletosAux, cdsAux);
    cdsAux.edit();
    cdsAux.fieldByName(fld::DTVENBOLREC).setValue(Value(due));
    cdsAux.fieldByName(fld::CDTPBAIXAREC).setString(type);
    cdsAux.fieldByName(fld::CDREDUCONT).setString(account);
    cdsAux.fieldByName(fld::FTR_DSBOLETREC).setString("");
    cdsAux.post();
    if (rowsOf[customer].size() < 2) continue;
    copyRow(cdsAux, cdsIncBoleto);
    cdsIncBoleto.edit();
    cdsIncBoleto.fieldByName(fld::VRBOLREC).setValue(Value(static_cast<double>(gross) / 100.0));
    cdsIncBoleto.fieldByName(fld::VRFINALBREC).setValue(Value(static_cast<double>(net) / 100.0));
    cdsIncBoleto.post();
  }
  // 7.
  if (cdsIncBoleto.isEmpty()) error("N_Boletos");

  // 8 and 9. Every boleto each new boleto replaces; none may have been issued after the due
  // date entered.
  for (size_t i = 1; i <= cdsIncBoleto.recordCount(); ++i) {
    const std::string customer = cdsIncBoleto.valueAt(i, fld::CDCLIENTE).asString();
    for (size_t k : rowsOf[customer]) {
      cdsBoletosAux.setRecNo(k);
      copyRow(cdsBoletosAux, cdsBolRec);
      cdsBolRec.edit();
      cdsBolRec.fieldByName(fld::VRFINALBREC)
          .setValue(Value(host::RoundDec(2, cdsBoletosAux.valueOf(fld::VRFINALBREC).asDouble())));
      cdsBolRec.post();
      const Value issued = cdsBoletosAux.valueOf(fld::DTEMISSAO);
      if (!issued.isNull() && due < issued.asDate())
        failOn("edtDtVenc", "dtVenci<dtEmissao", {issued.asDate().format("dd/mm/yyyy")});
    }
  }

  // 10. One call: the service associates every customer's boletos, or none.
  remote::Variant answer;
  {
    host::WaitAnimation wait;
    answer = rpc::call(
        conn, rpc::AssociaBoletos{.FiliProc = host::FiliProc(),
                                  .cdsIncBoleto = remote::Variant::packet(cdsIncBoleto.toPacket()),
                                  .cdsBolRec = remote::Variant::packet(cdsBolRec.toPacket())});
  }
  for (const auto& k : answer.items()) novos_.push_back(k.asString());
  cdsIncBoleto.emptyDataset();
  showMsg("SUCESSO");
}

void TfrmConjulgarBoleto::sbtCancelarClick() {
  setModalResult(host::mrCancel);
  close();
}

int CriaConjulgarBoleto(const std::string& company) {
  static ScreenSlot<TfrmConjulgarBoleto> slot =
      ScreenSlot<TfrmConjulgarBoleto>::once(&Cli_rec12013::boIdCriado);
  CreatorSteps<TfrmConjulgarBoleto> steps;
  steps.make = [] { return std::make_unique<TfrmConjulgarBoleto>(); };
  steps.copyArguments = [&](TfrmConjulgarBoleto& f) { f.setEmpresa(company); };
  steps.prepare = [](TfrmConjulgarBoleto&) { ensureConnected(); };
  steps.show = [](TfrmConjulgarBoleto&) { return Show::Modal; };
  return runCreator(slot, steps);
}

void InstalaConjulgarBoleto() {
  creators().CriaConjulgarBoleto = &CriaConjulgarBoleto;
}

}  // namespace rec
