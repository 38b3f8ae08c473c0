#include "descadia/Cli_rec12005.h"

#include <cmath>

#include "host/Consiste.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/HostDatabase.h"
#include "host/ScopedFlag.h"
#include "host/TaxId.h"
#include "module/Creator.h"
#include "module/Creators.h"
#include "module/PickList.h"
#include "module/SharedConnection.h"
#include "module/Units.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "remote/Connection.h"

namespace rec {

namespace fld = records::fld;
using host::Value;

namespace {

TfrmDescAdia* g_instance = nullptr;

int64_t cents(const Value& v) {
  return v.isNull() ? 0 : std::llround(host::RoundDec(2, v.asDouble()) * 100.0);
}
Value money(int64_t c) {
  return Value(static_cast<double>(c) / 100.0);
}
std::string moneyText(int64_t c) {
  return host::FormatFloat("#,##0.00", static_cast<double>(c) / 100.0);
}

}  // namespace

TfrmDescAdia::TfrmDescAdia() : host::ScreenModel("TfrmDescAdia", "REC12005", "Descontar") {
  messages() = host::TMessages{
      {"CdAjDeve", "Tipo de ajuste deve ser informado."},
      {"TipoAjuste_NaoCad", "Tipo de ajuste não cadastrado."},
      {"vrDesc_n_inf", "Valor a descontar deve ser informado."},
      {"VrADesc_dv<nedT", "Valor a descontar deve ser menor que valor adiantado."},
      {"AJ_JC", "Tipo de ajuste já cadastrado para o boleto."},
      {"vrDesc_<_vrdisp", "Valor do desconto deve ser menor ou igual que o valor disponível."},
      {"vrDesc_inf", "Valor do desconto deve ser informado."},
      {"vrDesc<0", "Valor deve ser maior que zero."},
      {"VrBol_Neg", "Operação bloqueada.Boleto ficará com valor negativo."},
      {"Descontar", "Descontar"},
      {"Adiantamento", "Adiantamento"},
      {"Devolucao", "Devolução"},
      {"TotalDe", "Total de"},
      {"CONF_CANC_BOL_CNAB", "O boleto será excluído da remessa. Confirma cancelamento?"},
  };
  cdsContaAd.setFieldDefs(records::cdsContaAd().fields());
  cdsVenda.setFieldDefs(records::cdsVenda().fields());
  for (auto* ds : {&cdsContaAd, &cdsVenda}) {
    ds->createDataset();
    ds->events().beforeInsert = [](host::ClientDataset&) { host::Abort(); };
    ds->events().beforeDelete = [](host::ClientDataset&) { host::Abort(); };
    ds->events().beforeEdit = [this](host::ClientDataset& d) {
      // Only a chosen credit's value is typed; the mark changes through Marca.
      if (!toggling_ && d.valueOf(fld::IDMARCADO).asString() != "S") host::Abort();
      before_ = cents(d.valueOf(fld::VRDESCONTO));
    };
    ds->events().beforePost = [this](host::ClientDataset&) { beforePost(); };
    ds->events().afterPost = [this](host::ClientDataset&) { afterPost(); };
  }

  auto& creditGrid = addGrid("dbgCreditos");
  creditGrid.onDblClick = [this] {
    auto& g = grid("dbgCreditos");
    const int col = g.selectedColumn();
    if (col < 0 || (static_cast<size_t>(col) < g.columns().size() &&
                    g.columns()[static_cast<size_t>(col)].field == fld::IDMARCADO.name))
      run([this] { Marca(); });
  };
  creditGrid.onKeyPress = [this](char key) {
    auto& g = grid("dbgCreditos");
    const int col = g.selectedColumn();
    if (key == ' ' &&
        (col < 0 || (static_cast<size_t>(col) < g.columns().size() &&
                     g.columns()[static_cast<size_t>(col)].field == fld::IDMARCADO.name)))
      run([this] { Marca(); });
  };
  creditGrid.onKeyDown = [](host::GridKey& key, host::ShiftState shift) {
    if ((key == host::GridKey::Delete && shift.ctrl) || key == host::GridKey::Insert)
      key = host::GridKey::None;
  };
  creditGrid.setDisplayRule(fld::IDMARCADO.name, [](const Value& v) {
    return std::string(!v.isNull() && v.asString() == "S" ? "☑" : "☐");
  });

  auto& type = addControl("edtCdAjuctRec", host::ControlKind::Edit);
  type.onExit = [this] { Vd_CdAjuctRec(false); };
  type.onChange = [this] { control("lblDsAjuctRec").setText(""); };
  addControl("sbtPesqAjuste", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtPesqAjusteClick(); });
  };
  addControl("lblDsAjuctRec", host::ControlKind::Label);
  addControl("lblTotal", host::ControlKind::Label);
  addControl("nedTotal", host::ControlKind::Edit).setReadOnly(true);
  addControl("lblDescontar", host::ControlKind::Label).setCaption("Valor a descontar");
  addControl("nedDescontar", host::ControlKind::Edit).setReadOnly(true);
  addControl("edtNmRazSocClie", host::ControlKind::Edit).setReadOnly(true);
  addControl("edtNrInsJurClie", host::ControlKind::Edit).setReadOnly(true);
  auto& confirm = addControl("sbtConfirmar", host::ControlKind::Button);
  confirm.setCaption("Confirmar");
  confirm.onClick = [this] { run([this] { Confirmar(); }); };
  auto& leave = addControl("sbtFechar", host::ControlKind::Button);
  leave.setCaption("Fechar");
  leave.onClick = [this] {
    setModalResult(host::mrCancel);
    close();
  };
  g_instance = this;
}

TfrmDescAdia* frmDescAdia() {
  return g_instance;
}

void TfrmDescAdia::setBoleto(double value, std::string customer, std::string company,
                             std::string number, std::string branch, std::string page) {
  value_ = cents(Value(value));
  customer_ = std::move(customer);
  company_ = std::move(company);
  number_ = std::move(number);
  branch_ = std::move(branch);
  page_ = page == "1" ? "1" : "0";
  const std::string kind = messages().Msg(advances() ? "Adiantamento" : "Devolucao");
  setCaption(messages().Msg("Descontar") + " " + kind);
  control("lblTotal").setCaption(messages().Msg("TotalDe") + " " + kind);
}

const char* TfrmDescAdia::availableField() const {
  return advances() ? fld::VRTOTDISP.name : fld::VRDISPONIVEL.name;
}

void TfrmDescAdia::Abre() {
  ensureConnected();
  auto& conn = netHabContRec();
  host::ClientDataset& ds = credits();
  {
    host::ScopedFlag quiet(toggling_);
    host::DetachedEvents noRules(ds);
    if (advances()) {
      std::string customer = customer_, company = company_;
      loadRecordRows(rpc::call(conn, rpc::GetContaAd{.CDCLIENTE = customer, .CDEMPRESA = company}),
                     cdsContaAd, records::cdsContaAd());
      // What is left of each advance is its value less what was used, in centavos.
      for (size_t r = 1; r <= cdsContaAd.recordCount(); ++r) {
        cdsContaAd.setRecNo(r);
        cdsContaAd.edit();
        cdsContaAd.fieldByName(fld::VRTOTDISP)
            .setValue(money(cents(cdsContaAd.valueOf(fld::VRORIGINAL)) -
                            cents(cdsContaAd.valueOf(fld::VRTOTADIA))));
        cdsContaAd.post();
      }
    } else {
      loadRecordRows(
          rpc::call(conn, rpc::GetDevolucao{.CDEMPRESA = company_, .CDCLIENTE = customer_}),
          cdsVenda, records::cdsVenda());
    }
    ds.mergeChangeLog();
  }
  auto& grid = this->grid("dbgCreditos");
  grid.setDataset(&ds);
  std::vector<host::GridColumn> columns;
  const auto& table = advances() ? records::cdsContaAd() : records::cdsVenda();
  const std::vector<const records::Field*> shown =
      advances() ? std::vector<const records::Field*>{&fld::IDMARCADO,   &fld::DTATUAVENREC,
                                                      &fld::NRSEQVENREC, &fld::NRPARCELAREC,
                                                      &fld::CDFILIAL,    &fld::NRLANCTONF,
                                                      &fld::VRORIGINAL,  &fld::VRTOTDISP,
                                                      &fld::VRDESCONTO}
                 : std::vector<const records::Field*>{
                       &fld::IDMARCADO,  &fld::DOCUMENTO, &fld::FILIDEVO,     &fld::DTEMISSAO,
                       &fld::NRLANCTONF, &fld::VRNFDEVOL, &fld::VRDISPONIVEL, &fld::VRDESCONTO};
  for (const auto* f : shown) {
    const auto& def = table[f->name];
    columns.push_back({f->name, f == &fld::IDMARCADO ? "" : def.displayLabel,
                       f == &fld::IDMARCADO ? 24 : 90, true});
  }
  grid.setColumns(columns);
  disponivel_ = 0;
  for (size_t r = 1; r <= ds.recordCount(); ++r)
    disponivel_ += cents(ds.valueAt(r, availableField()));
  descontar_ = 0;
  if (ds.recordCount() > 0) {
    ds.first();
    control("edtNmRazSocClie").setText(ds.valueOf(fld::NMRAZSOCCLIE).asString());
    const std::string reg = host::AllTrim(ds.valueOf(fld::NRINSJURCLIE).asString());
    const std::string mask = host::PictPess(ds.valueOf(fld::IDTPIJURCLIE).asString());
    control("edtNrInsJurClie").setText(mask.empty() ? reg : host::FormatMaskText(mask, reg));
  }
  showTotals();
}

void TfrmDescAdia::showTotals() {
  control("nedTotal").setText(moneyText(disponivel_));
  control("nedDescontar").setText(moneyText(descontar_));
}

void TfrmDescAdia::Marca() {
  host::ClientDataset& ds = credits();
  if (ds.isEmpty()) return;
  host::ScopedFlag toggling(toggling_);
  const bool chosen = ds.valueOf(fld::IDMARCADO).asString() != "N";
  const Value available = ds.valueOf(availableField());
  ds.edit();
  if (chosen) {
    ds.fieldByName(fld::IDMARCADO).setString("N");
    ds.fieldByName(fld::VRDESCONTO).setValue(Value(0.0));
  } else {
    ds.fieldByName(fld::IDMARCADO).setString("S");
    ds.fieldByName(fld::VRDESCONTO).setValue(money(cents(available)));
  }
  ds.post();
}

void TfrmDescAdia::beforePost() {
  host::ClientDataset& ds = credits();
  const bool chosen = ds.valueOf(fld::IDMARCADO).asString() == "S";
  const int64_t value = cents(ds.valueOf(fld::VRDESCONTO));
  const int64_t available = cents(ds.valueOf(availableField()));
  if (advances()) {
    if (value > available) error("vrDesc_<_vrdisp");
    if (chosen && value <= 0) error("vrDesc<0");
  } else if (chosen) {
    if (value > available) error("vrDesc_<_vrdisp");
    if (value <= 0) error("vrDesc_inf");
  }
  // The value travels as it counts: in whole centavos.
  ds.fieldByName(fld::VRDESCONTO).setValue(money(value));
}

void TfrmDescAdia::afterPost() {
  descontar_ = descontar_ - before_ + cents(credits().valueOf(fld::VRDESCONTO));
  before_ = 0;
  showTotals();
}

void TfrmDescAdia::Vd_CdAjuctRec(bool mandatory) {
  auto& field = control("edtCdAjuctRec");
  if (host::EmptyString(field.text())) {
    if (mandatory) failOn("edtCdAjuctRec", "CdAjDeve");
    return;
  }
  const std::string code = host::Ajusta(host::AllTrim(field.text()), fld::CDAJUCTREC.width());
  field.setText(code);
  host::TADOIBQuery q("qryTipoAjusteCod");
  q.ParamByName("P_CDAJUCTREC") = code;
  q.ParamByName("P_IDTPAJRECEBER") = std::string(advances() ? "A" : "D");
  q.Open();
  if (q.IsEmpty()) failOn("edtCdAjuctRec", "TipoAjuste_NaoCad");
  control("lblDsAjuctRec").setText(q.FieldByName("DSAJUCTREC").asString());
  q.Close();
  std::string branch = branch_, number = number_;
  host::ClientDataset taken("cdsExistAjuste");
  loadRecordRows(
      rpc::call(netHabContRec(),
                rpc::GetExistAjuste{.CDFILIAL = branch, .NRLANBOLREC = number, .CDAJUCTREC = code}),
      taken, records::cdsExistAjuste());
  if (!taken.isEmpty()) failOn("edtCdAjuctRec", "AJ_JC");
}

void TfrmDescAdia::sbtPesqAjusteClick() {
  host::TADOIBQuery q("qryTipoAjuste");
  q.ParamByName("P_IDTPAJRECEBER") = std::string(advances() ? "A" : "D");
  q.Open();
  if (q.IsEmpty()) failOn("edtCdAjuctRec", "TipoAjuste_NaoCad");
  auto code = pickCode(caption(), q.dataset(), fld::CDAJUCTREC, fld::DSAJUCTREC);
  q.Close();
  if (!code) return;
  control("edtCdAjuctRec").setText(*code);
  Vd_CdAjuctRec(false);
}

void TfrmDescAdia::Confirmar() {
  host::ClientDataset& ds = credits();
  if (ds.state() == host::DatasetState::Edit || ds.state() == host::DatasetState::Insert) ds.post();
  Vd_CdAjuctRec(true);
  if (descontar_ <= 0) error("vrDesc_n_inf");
  if (descontar_ > disponivel_) error("VrADesc_dv<nedT");
  if (descontar_ > value_) error("VrBol_Neg");
  auto& conn = netHabContRec();
  {
    // A boleto already sent to the bank leaves its remittance with the discount.
    std::string branch = branch_, number = number_;
    host::ClientDataset status("cdsStatus");
    loadRecordRows(rpc::call(conn, rpc::GetStatus{.CDFILIAL = branch, .NRLANBOLREC = number}),
                   status, records::cdsStatus());
    if (!status.isEmpty() && !host::EmptyString(status.valueOf(fld::NRCNABRECREM).asString()) &&
        !ask("CONF_CANC_BOL_CNAB"))
      host::Abort();
  }
  std::string branch = branch_, number = number_;
  const std::string type = host::AllTrim(control("edtCdAjuctRec").text());
  const double total = static_cast<double>(descontar_) / 100.0;
  host::WaitAnimation wait;
  if (advances()) {
    rpc::call(conn, rpc::SetConfirma_Adianta{.cdsContaAd = remote::Variant::packet(ds.toPacket()),
                                             .CDFILIAL = branch,
                                             .NRLANBOLREC = number,
                                             .CDAJUCTREC = type,
                                             .vrDescontar = total});
  } else {
    rpc::call(conn, rpc::SetConfirma_Devolucao{.cdsVenda = remote::Variant::packet(ds.toPacket()),
                                               .CDFILIAL = branch,
                                               .NRLANBOLREC = number,
                                               .CDAJUCTREC = type,
                                               .vrDescontar = total});
  }
  setModalResult(host::mrOk);
  close();
}

int CriaDescAdi(double value, const std::string& customer, const std::string& company,
                const std::string& number, const std::string& branch, const std::string& kind) {
  static ScreenSlot<TfrmDescAdia> slot = ScreenSlot<TfrmDescAdia>::once(&Cli_rec12005::boStCriado);
  CreatorSteps<TfrmDescAdia> steps;
  steps.make = [] { return std::make_unique<TfrmDescAdia>(); };
  steps.copyArguments = [&](TfrmDescAdia& f) {
    f.setBoleto(host::RoundDec(2, value), customer, company, number, branch, kind);
  };
  steps.prepare = [](TfrmDescAdia& f) { f.Abre(); };
  steps.show = [](TfrmDescAdia&) { return Show::Modal; };
  return runCreator(slot, steps);
}

void InstalaDescAdia() {
  creators().CriaDescAdi = &CriaDescAdi;
}

}  // namespace rec
