#include "perdas/Cli_rec14002.h"

#include <cmath>

#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "module/Creator.h"
#include "module/Creators.h"
#include "module/SharedConnection.h"
#include "records/Methods.h"
#include "records/Tables.h"

namespace Cli_rec14002 {
bool boIdCriado = false;
std::string stEmpresa;
}  // namespace Cli_rec14002

namespace rec {

using host::ControlKind;
using host::Value;
namespace fld = records::fld;

namespace {

ScreenSlot<TfrmPerdas>& slot() {
  static auto s = ScreenSlot<TfrmPerdas>::once(&Cli_rec14002::boIdCriado);
  return s;
}

RegisterView registerView() {
  return installed(creators().registro, "TfrmHabContRec")();
}

std::string blankDateText(const std::string& text) {
  std::string digits;
  for (char c : text)
    if (c >= '0' && c <= '9') digits += c;
  return digits;
}

}  // namespace

TfrmPerdas::TfrmPerdas()
    : host::ScreenModel("TfrmPerdas", "REC14002", "Baixar por Perdas e Lucros") {
  messages() = host::TMessages{
      {"CCC_INF", "Conta corrente deve ser informada."},
      {"CCC_N_CAD", "Conta corrente não cadastrada."},
      {"TPBX_INF", "Tipo de baixa deve ser informada."},
      {"TPBX_N_CAD", "Tipo de baixa não cadastrada."},
      {"DATA_INF", "Data deve ser informada."},
      {"SUCESSO", "A baixa foi realizada com sucesso."},
      {"2BOL_BAIXADO", "Um dos boletos selecionados foi baixado por outro usuário."},
      {"VRBOL_Dif", "Valor de uma conta foi alterado por outro usuário."},
      {"BOL_NC", "Boleto não cadastrado."},
  };
  auto& date = addControl("edtDtBaixa", ControlKind::Edit);
  auto& weekday = addControl("lblNomeSemana", ControlKind::Label);
  date.onExit = [this, &date, &weekday] {
    const auto d = host::DateTime::parse(date.text(), "dd/mm/yyyy");
    weekday.setCaption(d ? host::NomeSemana(*d) : std::string());
  };
  auto& account = addControl("edtCDREDUCONT", ControlKind::Edit);
  for (const char* c : {"edtCDBANCO", "edtCDAGENCIA", "edtCDCONTCORR"})
    addControl(c, ControlKind::Edit).setReadOnly(true);
  account.onChange = [this] {
    for (const char* c : {"edtCDBANCO", "edtCDAGENCIA", "edtCDCONTCORR"}) control(c).setText({});
  };
  account.onExit = [this] { Vd_CdReduCont(false); };
  auto& type = addControl("edtCDTPBAIXAREC", ControlKind::Edit);
  addControl("edtNMTPBAIXAREC", ControlKind::Edit).setReadOnly(true);
  type.onChange = [this] { control("edtNMTPBAIXAREC").setText({}); };
  type.onExit = [this] { Vd_TipoBaixa(false); };
  addControl("nedVrBaixa", ControlKind::Edit).setReadOnly(true);
  addControl("sbtConfirmar", ControlKind::Button).setCaption("Confirmar Recebimento");
  control("sbtConfirmar").onClick = [this] { run([this] { Confirmar(); }); };
  addControl("sbtSair", ControlKind::Button).onClick = [this] { close(); };
}

void TfrmPerdas::Abre() {
  {
    host::WaitAnimation wait;
    auto& conn = netHabContRec();
    if (!conn.connected()) conn.connect();
  }
  control("edtDtBaixa").setText({});
  control("lblNomeSemana").setCaption({});
  // Each net value rounded before it is added; the sum in centavos.
  total_ = 0;
  const RegisterView view = registerView();
  if (view.cdsMarca != nullptr && view.cdsMarca->active()) {
    for (size_t r = 1; r <= view.cdsMarca->recordCount(); ++r) {
      const Value v = view.cdsMarca->valueAt(r, fld::VRFINALBREC);
      if (!v.isNull()) total_ += std::llround(host::RoundDec(2, v.asDouble()) * 100.0);
    }
  }
  control("nedVrBaixa").setText(host::FormatFloat("#,##0.00", static_cast<double>(total_) / 100.0));
}

void TfrmPerdas::Vd_CdReduCont(bool mandatory) {
  auto& edit = control("edtCDREDUCONT");
  const std::string typed = host::AllTrim(edit.text());
  if (typed.empty()) {
    if (mandatory) failOn("edtCDREDUCONT", "CCC_INF");
    return;
  }
  const std::string code = host::Ajusta(typed, 3);
  edit.setText(code);
  qryContCorr.Close();
  qryContCorr.ParamByName("P_CDREDUCONT") = Value(code);
  qryContCorr.ParamByName("P_TCDREDUCONT") = Value("");
  qryContCorr.Open();
  if (qryContCorr.IsEmpty()) failOn("edtCDREDUCONT", "CCC_N_CAD");
  const auto masked = [&](const char* field, const char* mask) {
    const std::string value = qryContCorr.FieldByName(field).asString();
    const std::string picture = host::AllTrim(qryContCorr.FieldByName(mask).asString());
    return picture.empty() ? value : host::FormatMaskText(picture + ";0; ", value);
  };
  control("edtCDBANCO").setText(qryContCorr.FieldByName("CDBANCO").asString());
  control("edtCDAGENCIA").setText(masked("CDAGENCIA", "CDPICTAGEN"));
  control("edtCDCONTCORR").setText(masked("CDCONTCORR", "CDPICTCONT"));
}

void TfrmPerdas::Vd_TipoBaixa(bool mandatory) {
  auto& edit = control("edtCDTPBAIXAREC");
  const std::string typed = host::AllTrim(edit.text());
  if (typed.empty()) {
    if (mandatory) failOn("edtCDTPBAIXAREC", "TPBX_INF");
    return;
  }
  const std::string code = host::Ajusta(typed, 2);
  edit.setText(code);
  qryTipoBaixa.Close();
  qryTipoBaixa.ParamByName("P_CDTPBAIXAREC") = Value(code);
  qryTipoBaixa.ParamByName("P_TCDTPBAIXAREC") = Value("");
  qryTipoBaixa.Open();
  if (qryTipoBaixa.IsEmpty()) failOn("edtCDTPBAIXAREC", "TPBX_N_CAD");
  control("edtNMTPBAIXAREC").setText(qryTipoBaixa.FieldByName("NMTPBAIXAREC").asString());
}

void TfrmPerdas::Confirmar() {
  // 1. to 3.
  Vd_CdReduCont(true);
  const std::string typed = host::AllTrim(control("edtDtBaixa").text());
  const auto date =
      blankDateText(typed).empty() ? std::nullopt : host::DateTime::parse(typed, "dd/mm/yyyy");
  if (!date) failOn("edtDtBaixa", "DATA_INF");
  Vd_TipoBaixa(true);
  // 4.
  const RegisterView view = registerView();
  host::ClientDataset none("cdsMarca");
  if (view.cdsMarca == nullptr) {
    none.setFieldDefs(records::cdsChaveBol().fields());
    none.createDataset();
  }
  const host::ClientDataset& marked = view.cdsMarca != nullptr ? *view.cdsMarca : none;
  std::string empty1, empty2, empty3;
  std::string company = Cli_rec14002::stEmpresa;
  remote::Result r;
  {
    host::WaitAnimation wait;
    r = rpc::tryCall(netHabContRec(),
                     rpc::SetConfirmaBaixa{.cdsMarca = remote::Variant::packet(marked.toPacket()),
                                           .vazio1 = empty1,
                                           .vazio2 = empty2,
                                           .vazio3 = empty3,
                                           .FiliProc = host::FiliProc(),
                                           .CDEMPRESA = company,
                                           .CDREDUCONT = control("edtCDREDUCONT").text(),
                                           .CDTPBAIXAREC = control("edtCDTPBAIXAREC").text(),
                                           .dtBaixa = *date,
                                           .CDFILIAL = view.CDFILIAL,
                                           .NRLANBOLREC = view.NRLANBOLREC,
                                           .CDOPERADOR = host::Operador(),
                                           .periodo = date->format("yyyymm"),
                                           .vazio4 = "",
                                           .vazio5 = ""});
  }
  try {
    remote::CheckResultServ(r);
  } catch (const host::ServiceError& e) {
    // The marks stay as they were: nothing was written off.
    if (messages().Has(e.key())) error(e.key());
    throw;
  }
  // 5. No boleto stays marked; the register reads its list again.
  if (view.cdsMarca != nullptr && view.cdsMarca->active()) {
    view.cdsMarca->emptyDataset();
    view.cdsMarca->mergeChangeLog();
  }
  if (view.Desmarca) view.Desmarca();
  // 6.
  setModalResult(host::mrOk);
  close();
  showMsg("SUCESSO");
}

void TfrmPerdas::onClose() {
  Cli_rec14002::boIdCriado = false;
}

int CriaBaixa_Perda(const std::string& company) {
  CreatorSteps<TfrmPerdas> steps;
  steps.make = [company] {
    // The company is the one given when the screen is created; a call that finds it open
    // keeps it.
    Cli_rec14002::stEmpresa = company;
    return std::make_unique<TfrmPerdas>();
  };
  steps.prepare = [](TfrmPerdas& f) { f.Abre(); };
  return runCreator(slot(), steps);
}

}  // namespace rec
