// Printing from the register: the print menu, "Emitir Boleto" with its checks and questions,
// the emission lists the emission, generation and e-mail screens read, and the refresh of a
// report template from the service.

#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <unordered_map>

#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/ScopedFlag.h"
#include "module/Creators.h"
#include "module/Units.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "register/HabContRec.h"
#include "register/Marcacao.h"
#include "report/TemplateDownload.h"

namespace rec {

using host::Value;

namespace {

// The row of the list copied into the emission order, field by field of the same name.
const records::Field kEmitOrdFields[] = {
    records::fld::CDFILIAL,         records::fld::NRLANBOLREC,      records::fld::CDNOSNUMREC,
    records::fld::DSEMAILCLIE,      records::fld::NRINSJURCLIE,     records::fld::IDTPIJURCLIE,
    records::fld::CDTPBAIXAREC,     records::fld::CDBARRAREC,       records::fld::FTR_DTVENBOLREC,
    records::fld::FTR_NMRAZSOCCLIE, records::fld::FTR_NRPARCBOLREC, records::fld::FTR_NRDUPLICATA,
    records::fld::FTR_VRFINALBREC,  records::fld::FTR_IDSTATBREC,   records::fld::FTR_NRLICENCAUSO,
    records::fld::FTR_NRNOTAFISC,   records::fld::FTR_CDFILIEMIT,   records::fld::FTR_CDFILIAL,
    records::fld::FTR_DTEMISSAO,    records::fld::FTR_IDPROTESTREC, records::fld::FTR_IDSITUCNABR,
    records::fld::FTR_NRCNABRECRET, records::fld::FTR_NRCNABRECREM, records::fld::IDBAIXAUTILR,
    records::fld::DSEMAILCLIECOP,   records::fld::FTR_CDVIATURA,    records::fld::VRTAXACARTORIO,
    records::fld::IDFORMCADBREC,
};

constexpr const char* kNoAccount = "xxxx";

std::string dateText(const Value& v) {
  return v.isNull() ? std::string() : v.asDate().format("dd/mm/yyyy");
}

std::string withSeparator(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

// The carteira code the bank files and the generation screen use.
std::string carteiraCode(const std::string& portfolio, const std::string& registration) {
  if (portfolio == "1" && registration == "1") return "01";
  if (portfolio == "1" && registration == "2") return "02";
  return "03";
}

std::string instalmentText(const std::string& instalment) {
  return instalment == "00" ? "001" : host::Ajusta(instalment, records::fld::NRPARCBOLREC.width());
}

// The list's after-scroll rule is away and the list frozen for a scope; both come back,
// with the list on the boleto it was on, however the scope ends.
class ListWalk {
 public:
  explicit ListWalk(host::ClientDataset& list)
      : list_(list),
        branch_(list.valueOf("CDFILIAL").asString()),
        number_(list.valueOf("NRLANBOLREC").asString()),
        noScrollRule_(list, &host::DatasetEvents::afterScroll),
        frozen_(list) {}
  ~ListWalk() {
    try {
      if (!list_.isEmpty())
        list_.locate(records::kBoletoKeyFields, {Value(branch_), Value(number_)});
    } catch (...) {
      // the list stays wherever the walk left it; the rule and the controls still come back
    }
  }
  ListWalk(const ListWalk&) = delete;
  ListWalk& operator=(const ListWalk&) = delete;

 private:
  host::ClientDataset& list_;
  std::string branch_, number_;
  host::DetachedEvents noScrollRule_;
  host::FrozenDataset frozen_;
};

}  // namespace

void TfrmHabContRec::addEmissionMessages() {
  auto& m = messages();
  m.Add("BOL_NI", "Nenhum boleto foi marcado.");
  m.Add("BOL_NC_SEL", "Nenhum boleto foi selecionado.");
  m.Add("boletos_ja_emit", "Existem boletos já emitidos entre os marcados. Deseja reemiti-los?");
  m.Add("Emit_bol", "Deseja emitir os boletos marcados em arquivos PDF?");
  m.Add("FIL_INF", "Filial de origem deve ser informada.");
  m.Add("FILORIG_N_CC",
        "Filial de origem não está autorizada a emitir boletos na conta corrente de cobrança.");
  m.Add("bol_ja_emit", "Boleto já emitido.");
  m.Add("reemit_bol", "Deseja emiti-lo novamente?");
  m.Add("Sim", "Sim");
  m.Add("Nao", "Não");
  m.Add("BANCO_NI", "Conta corrente de cobrança não informada em boleto marcado.");
  m.Add("BANCO_Dif", "Os boletos marcados devem ser da mesma conta corrente de cobrança.");
  m.Add("End_Empty", "Cliente sem endereço cadastrado: %s");
  m.Add("Bol_emit_Sucess", "Boletos emitidos com sucesso em:%s");
  m.Add("Nrel", "Não foi possível atualizar o relatório do servidor.");
}

void TfrmHabContRec::buildPrintMenu() {
  auto& print = addControl("sbtImprimir", host::ControlKind::Button);
  auto& listing = addControl("mnuListagem", host::ControlKind::MenuItem);
  listing.setCaption("Imprimir");
  print.addFollower(listing);
  print.onClick = [this] { run([this] { sbtImprimirClick(); }); };
  listing.onClick = print.onClick;

  // The menu is shown under the button; picking an item closes it.
  auto& menu = addControl("pmnBoleto", host::ControlKind::Panel);
  menu.setVisible(false);
  const auto item = [&](const char* name, const char* caption, void (TfrmHabContRec::*cmd)()) {
    auto& c = addControl(name, host::ControlKind::MenuItem, &menu);
    c.setCaption(caption);
    c.onClick = [this, cmd] {
      control("pmnBoleto").setVisible(false);
      run([this, cmd] { (this->*cmd)(); });
    };
    return &c;
  };
  print.addFollower(*item("mnuBoleto", "Emitir Boleto", &TfrmHabContRec::mnuBoletoClick));
  print.addFollower(*item("mnuCarne", "Emitir Carnê", &TfrmHabContRec::mnuCarneClick));
  print.addFollower(
      *item("mnuGeraBoletoTxt", "Gera Boleto (txt)", &TfrmHabContRec::mnuGeraBoletoClick));
}

void TfrmHabContRec::sbtImprimirClick() {
  control("pmnBoleto").setVisible(true);
}

// ------------------------------------------------------------------ the emission lists

void TfrmHabContRec::Atualiza_Emissao(bool markedChecked, bool generation) {
  if (!markedChecked && (!cdsMarca.active() || cdsMarca.isEmpty())) error("BOL_NI");

  if (cdsBolEmitOrd.fieldCount() == 0)
    cdsBolEmitOrd.setFieldDefs(records::cdsBolEmitOrd().fields());
  if (!cdsBolEmitOrd.active()) cdsBolEmitOrd.createDataset();
  cdsBolEmitOrd.emptyDataset();
  Cli_rec12000::BoCreditoEmConta = false;
  klContas.Clear();
  klEmissao.Clear();
  klCarteira.Clear();
  if (!cdsOrdemPrint.active()) cdsOrdemPrint.createDataset();
  cdsOrdemPrint.emptyDataset();

  // The entries of klEmissao as the walk meets them; they enter the list in print order.
  std::unordered_map<std::string, std::pair<std::string, host::KeyValue>> emission;
  if (cdsBoletos.active() && !cdsBoletos.isEmpty()) {
    ListWalk walk(cdsBoletos);
    for (cdsBoletos.first(); !cdsBoletos.eof(); cdsBoletos.next()) {
      if (current("IDMARCADO").asString() != "M") continue;
      const std::string key = current("CDFILIAL").asString() + current("NRLANBOLREC").asString();
      const std::string carteira =
          carteiraCode(current("IDCARTCOBREC").asString(), current("IDFORMCADBREC").asString());
      const std::string instalment = instalmentText(current("NRPARCBOLREC").asString());
      const auto carteiraEntry = [&](const Value& portfolio, const Value& account, const Value& due,
                                     const Value& net) {
        return host::KeyValue(std::vector<Value>{portfolio, account, due, net,
                                                 current("CDTPBAIXAREC"), current("IDSTATBREC"),
                                                 Value(carteira), Value(instalment)});
      };
      if (generation && !host::EmptyString(current("NRORIGBOLREC").asString())) {
        BuscaParcelas(current("CDFILIAL").asString(), current("NRLANBOLREC").asString(),
                      current("NRORIGBOLREC").asString());
        if (cdsParcelamento.active() && cdsParcelamento.recordCount() > 1) {
          for (size_t r = 1; r <= cdsParcelamento.recordCount(); ++r) {
            const std::string part = cdsParcelamento.valueAt(r, "CDFILIAL").asString() +
                                     cdsParcelamento.valueAt(r, "NRLANBOLREC").asString();
            if (klCarteira.Contains(part)) continue;
            klCarteira.Add(part, carteiraEntry(cdsParcelamento.valueAt(r, "CDCARTCOBBOL"),
                                               cdsParcelamento.valueAt(r, "CDCONTCORR"),
                                               cdsParcelamento.valueAt(r, "DTVENBOLREC"),
                                               cdsParcelamento.valueAt(r, "VRFINALBREC")));
          }
        }
      }
      const std::string account = host::AllTrim(current("CDREDUCONT").asString());
      if (account.empty()) {
        klContas.Add(kNoAccount, host::KeyValue(Value(0.0)));
        break;
      }
      klContas.Add(account, host::KeyValue(Value(0.0)));
      if (klContas.Count() > 1) break;

      emission[key] = {key + current("CDNOSNUMREC").asString(),
                       host::KeyValue(std::vector<Value>{
                           Value(dateText(current("DTVENBOLREC"))), current("NMRAZSOCCLIE"),
                           Value(host::FormatFloat("#,##0.00", current("VRFINALBREC").asDouble())),
                           current("IDBOLEMITIDO")})};
      cdsBolEmitOrd.append();
      for (const records::Field& f : kEmitOrdFields)
        cdsBolEmitOrd.fieldByName(f).setValue(current(f));
      cdsBolEmitOrd.post();
      if (current("IDBAIXAUTILR").asString() == "C") Cli_rec12000::BoCreditoEmConta = true;
      if (!klCarteira.Contains(key)) {
        klCarteira.Add(key, carteiraEntry(current("CDCARTCOBBOL"), current("CDCONTCORR"),
                                          current("DTVENBOLREC"), current("VRFINALBREC")));
      }
    }
  }

  // The screens read klEmissao by position as the i-th boleto of the print order, so it
  // follows that order rather than the list's.
  AplicaOrdemImpres();
  for (cdsBolEmitOrd.first(); !cdsBolEmitOrd.eof(); cdsBolEmitOrd.next()) {
    const auto it = emission.find(cdsBolEmitOrd.valueOf("CDFILIAL").asString() +
                                  cdsBolEmitOrd.valueOf("NRLANBOLREC").asString());
    if (it != emission.end()) klEmissao.Add(it->second.first, it->second.second);
  }
  cdsBolEmitOrd.first();

  if (klContas.Count() > 0 && klContas.Key(0) == kNoAccount) error("BANCO_NI");
  if (bContaUnica && klContas.Count() > 1) error("BANCO_Dif");
  if (klEmissao.Count() > 0) VerificaEnderecos();
}

records::EmissionOrder TfrmHabContRec::ordemEmissao() {
  const auto setting = [](const host::ClientDataset& ds, const records::Field& f) {
    return ds.active() && !ds.isEmpty() ? host::AllTrim(ds.valueOf(f).asString()) : std::string();
  };
  return records::EmissionOrder{
      .klEmissao = klEmissao,
      .klCarteira = klCarteira,
      .klContas = klContas,
      .cdsBolEmitOrd = cdsBolEmitOrd,
      .CDEMPRESA = company(),
      .IDSISDOS = setting(cdsValidaGR, records::fld::IDSISDOS),
      .IDEXIBDADORC = setting(cdsOrcaFestas, records::fld::IDEXIBDADORC),
      .AplicaOrdemImpres = [this] { AplicaOrdemImpres(); },
      .BaixaRelatorio = [this](const std::string& name) { BaixaRelatorio(name); },
  };
}

void TfrmHabContRec::VerificaEnderecos() {
  // Only the marked rows travel: the answer depends on them alone, and a list may hold
  // a hundred thousand boletos.
  host::ClientDataset marked("cdsMarcados");
  marked.setFieldDefs(cdsBoletos.fieldDefs());
  marked.createDataset();
  marked.setLogChanges(false);
  const size_t n = cdsBoletos.recordCount();
  const size_t fields = cdsBoletos.fieldCount();
  for (size_t r = 1; r <= n; ++r) {
    if (cdsBoletos.valueAt(r, "IDMARCADO").asString() != "M") continue;
    marked.append();
    for (size_t i = 0; i < fields; ++i) {
      marked.field(i).setValue(cdsBoletos.valueAt(r, cdsBoletos.fieldDefs()[i].name));
    }
    marked.post();
  }
  remote::Variant answer;
  {
    host::WaitAnimation wait;
    answer =
        rpc::call(connection(),
                  rpc::GetVerifEndeClie{.cdsBoletos = remote::Variant::packet(marked.toPacket())});
  }
  if (!answer.isArray() || answer.items().size() < 2) {
    host::MensErro("Resposta inesperada do serviço em GetVerifEndeClie.");
  }
  const std::string text = answer.items()[1].asString();
  if (host::EmptyString(text)) return;
  const std::string key = answer.items()[0].asString();
  cdsBoletos.locate(records::kBoletoKeyFields,
                    {Value(host::LeftStr(key, 4)), Value(key.size() > 4 ? key.substr(4, 10) : "")});
  showMsg("End_Empty", {Value(text)});
  host::Abort();
}

// ------------------------------------------------------------------ "Emitir Boleto"

void TfrmHabContRec::leaveOut() {
  const Value branch = cdsMarca.valueOf("CDFILIAL");
  const Value number = cdsMarca.valueOf("NRLANBOLREC");
  const std::string key = host::UpperCase(branch.asString() + number.asString());
  if (cdsMarcaAux.active() &&
      cdsMarcaAux.locate(records::kBoletoKeyFields, {branch, number}, {.caseInsensitive = true})) {
    cdsMarcaAux.deleteRecord();
  }
  // Unmarked as the operator would, without moving the operator's current boleto.
  bool unmarked = false;
  if (cdsBoletos.active()) {
    const auto at = cdsBoletos.bookmark();
    host::FrozenDataset frozen(cdsBoletos);
    host::DetachedEvents noScrollRule(cdsBoletos, &host::DatasetEvents::afterScroll);
    try {
      if (cdsBoletos.locate(records::kBoletoKeyFields, {branch, number},
                            {.caseInsensitive = true}) &&
          current("IDMARCADO").asString() == "M") {
        Marca_Boleto(false, 'D');
        unmarked = true;
      }
    } catch (...) {
      cdsBoletos.gotoBookmark(at);
      throw;
    }
    cdsBoletos.gotoBookmark(at);
  }
  // Unmarking took the row out of cdsMarca; one the list no longer shows goes here.
  const bool stillThere = !cdsMarca.isEmpty() && !cdsMarca.eof() &&
                          host::UpperCase(cdsMarca.valueOf("CDFILIAL").asString() +
                                          cdsMarca.valueOf("NRLANBOLREC").asString()) == key;
  if (!unmarked || stillThere) {
    if (cdsMarca.locate(records::kBoletoKeyFields, {branch, number}, {.caseInsensitive = true})) {
      cdsMarca.deleteRecord();
    }
  }
}

void TfrmHabContRec::mnuBoletoClick() {
  bContaUnica = true;
  if (!cdsMarca.active() || cdsMarca.isEmpty()) error("BOL_NI");

  // The saved marks serve only this command: they go whatever way it ends.
  struct DropSaved {
    host::ClientDataset& aux;
    ~DropSaved() {
      if (aux.active()) aux.emptyDataset();
    }
  } dropSaved{cdsMarcaAux};
  cdsMarcaAux.copyDataFrom(cdsMarca);
  const bool reissue = nMarcEmitidos > 1 && ask("boletos_ja_emit");
  const bool emit = nMarcOutros > 1 && ask("Emit_bol");

  cdsMarca.first();
  while (!cdsMarca.eof()) {
    if (cdsMarca.valueOf("IDIMPRBOLBOL").asString() == "F") {
      if (host::EmptyString(cdsMarca.valueOf("CDFILORIG").asString())) error("FIL_INF");
      callInto(cdsVdFilOrig,
               rpc::GetVdFilOrig{.CDBANCO = cdsMarca.valueOf("CDBANCO").asString(),
                                 .CDAGENCIA = cdsMarca.valueOf("CDAGENCIA").asString(),
                                 .CDCONTCORR = cdsMarca.valueOf("CDCONTCORR").asString(),
                                 .CDREDUCONT = cdsMarca.valueOf("CDREDUCONT").asString(),
                                 .CDEMPRESA = cdsMarca.valueOf("CDEMPRESA").asString(),
                                 .CDFILORIG = cdsMarca.valueOf("CDFILORIG").asString()});
      if (cdsVdFilOrig.isEmpty()) {
        cdsBoletos.locate(records::kBoletoKeyFields,
                          {cdsMarca.valueOf("CDFILIAL"), cdsMarca.valueOf("NRLANBOLREC")},
                          {.caseInsensitive = true});
        focusField("edtCDFILORIG", "tshCnab");
        error("FILORIG_N_CC");
      }
    }
    if (cdsMarca.valueOf("IDSTATBREC").asString() == "E" && !reissue && !emit) {
      const std::string text =
          messages().Msg("bol_ja_emit") + "\rFilial " + cdsMarca.valueOf("CDFILIAL").asString() +
          " - Nº Lanc. Boleto " + cdsMarca.valueOf("NRLANBOLREC").asString() + " - Parc. " +
          cdsMarca.valueOf("NRPARCBOLREC").asString() + "\r" + "\r" + messages().Msg("reemit_bol");
      const int answer = host::dialogs().msgAlertEx(text, caption(),
                                                    {messages().Msg("Sim"), messages().Msg("Nao")});
      if (answer == host::kMsgAlertFirstButton + 1) {
        leaveOut();  // the next boleto is now the current row of cdsMarca
        continue;
      }
    }
    cdsMarca.next();
  }

  Atualiza_Emissao(true);

  if ((reissue || emit) && cdsGeralRec.active() &&
      cdsGeralRec.valueOf("IDSOLDIRBOLETO").asString() == "S") {
    Cli_rec12000::stDiretorio = installed(creators().CriaDirBoletos, "de diretório de boletos")();
  }
  if (Cli_rec12000::stDiretorio.empty()) Cli_rec12000::stDiretorio = host::ReportDir();
  Cli_rec12000::stDiretorio = withSeparator(Cli_rec12000::stDiretorio);

  bool opened = false;
  int result = host::mrNone;
  {
    host::ScopedFlag busyMark(busy);
    if (!cdsMarca.isEmpty() && klContas.Count() > 0) {
      opened = true;
      try {
        result = installed(creators().CriaImprimeBol, "de emissão de boletos")(
            ordemEmissao(), Cli_rec12000::stDiretorio, reissue, emit);
      } catch (...) {
        // The emission stopped with an error: the operator gets the marks back with it.
        cdsMarca.emptyDataset();
        Fitro_Locate();
        Marca_Boletos_Aux("", "");
        throw;
      }
    }
  }
  // Only a run that completed wrote the folder the message names.
  if (opened && result == host::mrOk && (reissue || emit)) {
    showMsg("Bol_emit_Sucess", {Value("\r" + Cli_rec12000::stDiretorio + "Boletos_Emitidos/" +
                                      host::Now().format("yyyy-mm-dd"))});
  }
  bool markAgain = false;
  if (opened) {
    if (result == host::mrOk) {
      cdsMarca.emptyDataset();
      cdsMarcaAux.emptyDataset();
    } else {
      markAgain = true;
    }
    Fitro_Locate();
  }
  cdsMarca.emptyDataset();
  if (markAgain) Marca_Boletos_Aux("", "");
}

void TfrmHabContRec::mnuEnviarBoletoClick() {
  bContaUnica = true;
  if (!cdsMarca.active() || cdsMarca.isEmpty()) error("BOL_NI");
  struct DropSaved {
    host::ClientDataset& aux;
    ~DropSaved() {
      if (aux.active()) aux.emptyDataset();
    }
  } dropSaved{cdsMarcaAux};
  cdsMarcaAux.copyDataFrom(cdsMarca);
  const bool reissue = nMarcEmitidos > 1 && ask("boletos_ja_emit");
  cdsMarca.first();
  while (!cdsMarca.eof()) {
    if (cdsMarca.valueOf("IDSTATBREC").asString() == "E" && !reissue) {
      const std::string text =
          messages().Msg("bol_ja_emit") + "\rFilial " + cdsMarca.valueOf("CDFILIAL").asString() +
          " - Nº Lanc. Boleto " + cdsMarca.valueOf("NRLANBOLREC").asString() + " - Parc. " +
          cdsMarca.valueOf("NRPARCBOLREC").asString() + "\r" + "\r" + messages().Msg("reemit_bol");
      const int answer = host::dialogs().msgAlertEx(text, caption(),
                                                    {messages().Msg("Sim"), messages().Msg("Nao")});
      if (answer == host::kMsgAlertFirstButton + 1) {
        leaveOut();
        continue;
      }
    }
    cdsMarca.next();
  }
  Atualiza_Emissao(true);
  bool opened = false;
  int result = host::mrNone;
  if (!cdsMarca.isEmpty() && klContas.Count() > 0) {
    opened = true;
    host::ScopedFlag busyMark(busy);
    // A boleto sent is not marked again when the list comes back after a failed run.
    result = installed(creators().CriaEnvBolMail, "de envio de boletos por e-mail")(
        ordemEmissao(), [this](const std::string& key) {
          if (cdsMarcaAux.locate(records::kBoletoKeyFields, {key.substr(0, 4), key.substr(4)},
                                 {.caseInsensitive = true}))
            cdsMarcaAux.deleteRecord();
        });
  }
  bool markAgain = false;
  if (opened) {
    if (result == host::mrOk)
      cdsMarca.emptyDataset();
    else
      markAgain = true;
    Fitro_Locate();
  }
  cdsMarca.emptyDataset();
  if (markAgain) Marca_Boletos_Aux("", "");
}

void TfrmHabContRec::mnuCarneClick() {
  bContaUnica = true;
  Atualiza_Emissao(false);
  if (installed(creators().CriaImprimeCarne, "TfrmImprimeCarne")(ordemEmissao()) != host::mrOk)
    return;
  cdsMarca.emptyDataset();
  Fitro_Locate();
}

// ------------------------------------------------------------------ report templates

namespace {

struct LocalTemplate {
  host::DateTime modified;
  std::string version;
};

// The template file's time and the version stamped before its closing "#".
LocalTemplate localTemplate(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {host::DateTime(), "0"};
  std::ifstream in(path, std::ios::binary);
  if (!in) return {host::DateTime(), "0"};
  std::string version;
  const auto size = static_cast<std::streamoff>(st.st_size);
  if (size > 0) {
    const std::streamoff from = size >= 9 ? size - 9 : 0;
    std::string tail(static_cast<size_t>(size - from), '\0');
    in.seekg(from);
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    if (!in) return {host::DateTime(), "0"};
    if (tail.back() == '#') version = tail.substr(0, tail.size() - 1);
  }
  std::tm tm{};
  localtime_r(&st.st_mtime, &tm);
  return {host::DateTime::fromYmdHms(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                                     tm.tm_min, tm.tm_sec == 60 ? 59 : tm.tm_sec),
          version};
}

std::string fileNameOf(const std::string& name) {
  const size_t cut = name.find_last_of("/\\");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

}  // namespace

void TfrmHabContRec::BaixaRelatorio(const std::string& fileName) {
  const std::string name = fileNameOf(fileName);
  const std::string local = withSeparator(host::ReportDir()) + name;

  host::DateTime serverDate;
  bool served = false;  // the service keeps a copy
  std::string serverVersion = "0";
  std::string source;
  try {
    remote::Connection qrd(rpc::kQRDesign);
    qrd.setCompany(connection().company());
    if (qrd.connect()) {
      const remote::Variant answer = rpc::call(qrd, rpc::GetDadosRel{.NMARQUIVO = name});
      qrd.disconnect();
      if (answer.isArray() && answer.items().size() >= 3) {
        const Value& date = answer.items()[0].value();
        if (date.kind() == Value::Kind::Date) {
          serverDate = date.asDate();
          served = true;
        } else if (date.isText()) {
          if (const auto parsed = host::DateTime::parseIso(date.asString())) {
            serverDate = *parsed;
            served = true;
          }
        }
        serverVersion = answer.items()[1].asString();
        source = answer.items()[2].asString();
      }
    }
  } catch (const std::exception&) {
    served = false;
    serverVersion = "0";
  }
  if (!served) return;  // the service keeps no copy: the local one is all there is

  const LocalTemplate mine = localTemplate(local);
  if (serverDate > mine.modified || serverVersion > mine.version) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(local).parent_path(), ec);
    if (!report::GetAtuGerFos(local, source)) {
      host::dialogs().error(messages().Msg("Nrel") + "\r" + local, caption());
    }
  }
}

void TfrmHabContRec::mnuSelNFImpClick() {
  if (klMarcados.Count() == 0) error("BOL_NC_SEL");
  installed(creators().CriaSelImpNF, "de seleção de notas fiscais")(
      control("medEmpresa").text(), klMarcados.Key(0).substr(14, 21));
}

}  // namespace rec
