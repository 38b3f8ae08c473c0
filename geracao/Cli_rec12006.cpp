#include "geracao/Cli_rec12006.h"

#include <fmt/format.h>

#include <filesystem>

#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/SerialPort.h"
#include "module/Creator.h"
#include "module/Creators.h"
#include "module/SharedConnection.h"
#include "module/Units.h"
#include "numbering/BankAccountRow.h"
#include "numbering/Numerador.h"
#include "numbering/RemoteNumberingService.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "remote/Connection.h"
#include "report/Export.h"

namespace rec {

namespace fld = records::fld;
namespace fs = std::filesystem;
using host::Value;

namespace {

constexpr const char* kPrograma = "REC12006";
// Values of a klCarteira entry, by position.
constexpr size_t kTipoBaixa = 4;
constexpr size_t kStatus = 5;

TfrmEditaBoleto* g_instance = nullptr;

std::string element(const host::KeyValue& v, size_t n) {
  return host::AllTrim(v.element(n).asString());
}

host::TKeyList& importados() {
  BOLETO_CHECK(Cli_rec12006::klsImporBoleto != nullptr, "the generation was opened without keys");
  return *Cli_rec12006::klsImporBoleto;
}

host::TKeyList& codigos() {
  BOLETO_CHECK(Cli_rec12006::klsCodigoBarra != nullptr, "the generation was opened without keys");
  return *Cli_rec12006::klsCodigoBarra;
}

/// The boleto named in a failure of the run, so that the operator knows which one stopped it
/// (those before it are numbered and stay so).
[[noreturn]] void falhaNoBoleto(const std::string& key, const std::string& text,
                                const std::string& errorKey) {
  throw host::OperationError(fmt::format("Boleto {}/{}: {}", key.substr(0, 4), key.substr(4), text),
                             errorKey);
}

}  // namespace

TfrmEditaBoleto::TfrmEditaBoleto()
    : TfrmDadosGerRel("TfrmEditaBoleto", "REC12006", "Gerar Boleto (txt)", "REC12006") {
  for (const auto& [key, message] : std::vector<std::pair<std::string, std::string>>{
           {"Direct", "Diretório deve ser informado."},
           {"Dir_Inv", "Diretório inválido."},
           {"Exp_Suss", "Exportação realizada com sucesso."},
           {"ESTRUT_CONFIG",
            "Operação bloqueada! Descrição do nosso número da conta cobrança não está "
            "parametrizada."},
           {"NOSSO<SEQ", "Operação bloqueada! Nosso número fora da faixa parametrizada."},
           {"ERR_CODBARR",
            "Operação bloqueada! Não foi possível gerar o código de barras para o banco %s."},
           {"NN_JA_CAD", "Operação Bloqueada! Nosso número já cadastrado."},
           {"EMPR_DI_NH",
            "Operação bloqueada! Empresa não habilitada para geração de depósito identificado."},
           {"BANC_DI_NH",
            "Operação bloqueada! Banco não habilitado para geração de depósito identificado."},
           {"ERR_GERA_NOSNUM",
            "Ocorreu um erro na geração do nosso número. Verifique as parametrizações de "
            "descrição do nosso número e código do banco na câmera de compensação."},
       })
    messages().Add(key, message);
  addControl("lblDiretorio", host::ControlKind::Label).setCaption("Diretório");
  auto& dir = addControl("edtDiretorio", host::ControlKind::Edit);
  dir.onExit = [this] { VerificaDiretorio(); };
  addControl("sbtDiretorio", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtDiretorioClick(); });
  };
  control("sbtDiretorio").setCaption("...");
  addControl("sbtExportar", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtExportarClick(); });
  };
  control("sbtExportar").setCaption("Exportar");
  // Print numbers first and drops the run's list when the print fails.
  control("sbtImprimir").onClick = [this] { run([this] { Imprimir(); }); };
  // The boletos are numbered by an export or a print only: a preview or a PDF saved aside
  // would show codes the run has not recorded.
  control("sbtVisualizar").setEnabled(false);
  control("sbtSalvarComo").setEnabled(false);
  addRelatorio({"GERABOL", "Boletos gerados (texto)"});
  cdsDiretorio.setFieldDefs(records::cdsDiretorio().fields());
  cdsDiretorio.createDataset();
  cdsCriaLista.setFieldDefs(records::cdsCriaLista().fields());
  cdsCriaLista.createDataset();
  g_instance = this;
}

TfrmEditaBoleto::~TfrmEditaBoleto() {
  if (g_instance == this) g_instance = nullptr;
}

TfrmEditaBoleto* frmEditaBoleto() {
  return g_instance;
}

void TfrmEditaBoleto::Abre(const std::string& account) {
  ensureConnected();
  company_ = netHabContRec().company();
  setCompany(company_);
  ProcuraRelatorios();
  account_ = account;
  std::string code = account;
  fetchBankAccount(netHabContRec(), code, cdsContCorr);
  if (cdsContCorr.isEmpty())
    host::MensErro(fmt::format("Conta cobrança {} não encontrada.", account));
  {
    host::WaitAnimation wait;
    loadRecordRows(rpc::call(netHabContRec(), rpc::GetDiretorio{}), cdsDiretorio,
                   records::cdsDiretorio());
  }
  cdsDiretorio.mergeChangeLog();
  if (cdsDiretorio.locate("CDPROGRAMA", {Value(std::string(kPrograma))}))
    control("edtDiretorio").setText(cdsDiretorio.valueOf(fld::DSDIRETORIO).asString());
  pBoleto_.clear();
  for (int i = 0; i < importados().Count(); ++i) pBoleto_ += "_" + importados().Key(i);
}

std::string TfrmEditaBoleto::VerificaDiretorio() {
  auto& field = control("edtDiretorio");
  std::string dir = host::AllTrim(field.text());
  if (dir.empty()) failOn("edtDiretorio", "Direct");
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) failOn("edtDiretorio", "Dir_Inv");
  if (dir.back() != '/') dir += '/';
  if (field.text() != dir) field.setText(dir);
  return dir;
}

void TfrmEditaBoleto::sbtDiretorioClick() {
  auto chosen = host::dialogs().selectFolder(caption(), control("edtDiretorio").text());
  if (!chosen || chosen->empty()) return;
  control("edtDiretorio").setText(*chosen);
  VerificaDiretorio();
}

void TfrmEditaBoleto::GravaDiretorio(const std::string& dir) {
  if (cdsDiretorio.locate("CDPROGRAMA", {Value(std::string(kPrograma))}))
    cdsDiretorio.edit();
  else
    cdsDiretorio.append();
  cdsDiretorio.fieldByName(fld::CDPROGRAMA).setString(kPrograma);
  cdsDiretorio.fieldByName(fld::DSDIRETORIO).setString(dir);
  cdsDiretorio.post();
  if (cdsDiretorio.changeCount() == 0) return;
  try {
    rpc::call(netHabContRec(),
              rpc::SetDiretorio{.cdsDiretorio = remote::Variant::packet(cdsDiretorio.toPacket())});
  } catch (...) {
    // What the service refused is not kept here either.
    cdsDiretorio.cancelUpdates();
    throw;
  }
  cdsDiretorio.mergeChangeLog();
}

void TfrmEditaBoleto::Numera() {
  GravaDiretorio(VerificaDiretorio());
  cdsCriaLista.emptyDataset();
  cdsCriaListaAux.close();
  gerados_.clear();

  numbering::BankAccountRow conta = numbering::BankAccountRowOf(cdsContCorr);
  numbering::NormalizaBanco(conta);
  numbering::RemoteNumberingService servico(netHabContRec());
  numbering::Numerador numerador(conta, codigos(), servico, messages());
  numerador.setDataProcessamento(host::DataProc());
  const std::string forma = conta.formaCadastro();

  // The boletos to number: those not emitted, in list order; those that carry a number
  // keep it and take no number of the range.
  struct Pendente {
    std::string key;
    bool deposito;
    numbering::CodigosArmazenados armazenado;
  };
  std::vector<Pendente> pendentes;
  int novos = 0;
  for (int i = 0; i < importados().Count(); ++i) {
    const std::string& key = importados().Key(i);
    const host::KeyValue& v = importados().Sum(i);
    if (element(v, kStatus) == "E") continue;
    const bool deposito = element(v, kTipoBaixa) == "02";
    Pendente p{key, deposito, {}};
    try {
      if (!deposito) p.armazenado = servico.CodigosDoBoleto(key.substr(0, 4), key.substr(4));
    } catch (const host::ServiceError& e) {
      falhaNoBoleto(key, messages().Msg(e.key()), e.key());
    }
    if (!deposito && p.armazenado.nossoNumero.empty()) ++novos;
    pendentes.push_back(std::move(p));
  }
  if (pendentes.empty()) return;

  if (numerador.seqSize() == 0) error("ESTRUT_CONFIG");
  if (novos > 0) numerador.Valida_Faixa_Numerica(numbering::Modelo::Completo1, forma, novos);

  for (const auto& p : pendentes) {
    const std::string branch = p.key.substr(0, 4), number = p.key.substr(4);
    cdsCriaLista.append();
    cdsCriaLista.fieldByName(fld::CDLISTA).setString(p.key);
    cdsCriaLista.post();
    try {
      if (p.deposito) {
        const std::string result = host::AllTrim(servico.GetVdDepIdent(company_, conta.CDBANCO));
        if (!result.empty()) error(result);
        const std::string code = numerador.GeraDepIdentificado(branch, number, company_);
        std::string linha, barras, nosso, filial = branch, lancamento = number, modelo;
        std::string reduzida = conta.CDREDUCONT;
        servico.SetCodBarra(rpc::SetCodBarra{.DSLINHABARREC = linha,
                                             .CDBARRAREC = barras,
                                             .CDNOSNUMREC = nosso,
                                             .CDFILIAL = filial,
                                             .NRLANBOLREC = lancamento,
                                             .CDDEPIDENREC = code,
                                             .IDBOLEMITIDO = modelo,
                                             .CDREDUCONT = reduzida});
      } else if (!p.armazenado.nossoNumero.empty()) {
        // A number once given is kept; one stored without its barcode gets the barcode of
        // that number, never another number.
        if (p.armazenado.codigoBarras.empty()) {
          auto seq = numerador.SequenciaDoNossoNumero(branch, number, p.armazenado.nossoNumero);
          if (!seq) error("ERR_GERA_NOSNUM");
          auto made = numerador.Gera_CodigodeBarra(branch, number, *seq, false,
                                                   numbering::Modelo::Completo1, forma);
          if (!made || !made->armazenado) error("ERR_GERA_NOSNUM");
        }
      } else {
        auto made = numerador.Gera_CodigodeBarra(
            branch, number, servico.GetNossoNumero("NOSSONUMERO" + conta.CDREDUCONT), true,
            numbering::Modelo::Completo1, forma);
        if (!made || !made->armazenado) error("ERR_GERA_NOSNUM");
      }
    } catch (const host::OperationError& e) {
      falhaNoBoleto(p.key, e.what(), e.key());
    } catch (const host::ServiceError& e) {
      const std::string text = messages().Has(e.key()) ? messages().Msg(e.key())
                               : e.detail().empty()    ? e.key()
                                                       : e.detail();
      falhaNoBoleto(p.key, text, e.key());
    }
    gerados_.push_back(p.key);
  }

  // The run's boletos as one list on the service, recorded as emitted once the output went
  // out whole.
  const auto answer =
      rpc::call(netHabContRec(),
                rpc::CriaLista{.cdsCriaLista = remote::Variant::packet(cdsCriaLista.toPacket()),
                               .CDFILIAL = gerados_.back().substr(0, 4)});
  const auto items = answer.items();
  if (items.size() < 2 || !items[1].isPacket())
    host::MensErro("Resposta inesperada do serviço em CriaLista.");
  cdsCriaListaAux.loadPacket(items[1].packetJson());
}

void TfrmEditaBoleto::ApagaLista() {
  if (!cdsCriaListaAux.active() || cdsCriaListaAux.isEmpty()) return;
  std::string list = cdsCriaListaAux.valueAt(1, fld::NRLISTA).asString();
  cdsCriaListaAux.close();
  try {
    rpc::call(netHabContRec(), rpc::ApagaLista{.NRLISTA = list});
  } catch (const std::exception&) {
    // The error that stopped the run is the one the operator must see; a list left behind
    // is dropped with the register's own lists.
  }
}

void TfrmEditaBoleto::Conclui() {
  if (cdsCriaListaAux.active() && !cdsCriaListaAux.isEmpty()) {
    std::string list = cdsCriaListaAux.valueAt(1, fld::NRLISTA).asString();
    rpc::call(netHabContRec(),
              rpc::AltBoletos{.count = static_cast<int64_t>(gerados_.size()),
                              .NRLISTA = list,
                              .CDLISTA = cdsCriaListaAux.valueAt(1, fld::CDLISTA).asString()});
    ApagaLista();
  }
  showMsg("Exp_Suss");
  setModalResult(host::mrOk);
  close();
}

std::string TfrmEditaBoleto::exportFileName(const std::string& dir) const {
  const std::string stem = dir + "Boleto" + host::Now().format("yyyymmddhhnnss");
  // Two exports within one second: the second gets a name of its own rather than
  // overwriting a file the equipment may not have read yet.
  std::string name = stem + ".txt";
  std::error_code ec;
  for (int n = 2; fs::exists(name, ec); ++n) name = fmt::format("{}-{}.txt", stem, n);
  return name;
}

void TfrmEditaBoleto::sbtExportarClick() {
  Numera();
  try {
    // Every boleto numbered must carry its number on the service before a file lists it;
    // an identified deposit carries its deposit code instead.
    numbering::RemoteNumberingService servico(netHabContRec());
    for (const auto& key : gerados_) {
      const int at = importados().IndexOf(key);
      if (at >= 0 && element(importados().Sum(at), kTipoBaixa) == "02") continue;
      if (servico.CodigosDoBoleto(key.substr(0, 4), key.substr(4)).nossoNumero.empty())
        falhaNoBoleto(key, messages().Msg("ERR_GERA_NOSNUM"), "ERR_GERA_NOSNUM");
    }
    const std::string dir = VerificaDiretorio();
    report::TextExportEngine engine(exportFileName(dir), false);
    exportaRelatorio(engine);
    arquivo_ = engine.fileName();
  } catch (...) {
    ApagaLista();
    throw;
  }
  // The equipment on the serial line learns the path of the file written; a missing or
  // silent device stops nothing.
  const std::string device = host::context().DispositivoSerial();
  if (!device.empty() && host::serialPort()->Envia(device, arquivo_))
    host::RegistraComandoEnviado(host::context().LogDir(), host::Now(), arquivo_);
  Conclui();
}

void TfrmEditaBoleto::Imprimir() {
  try {
    sbtImprimirClick();
  } catch (...) {
    ApagaLista();
    throw;
  }
}

void TfrmEditaBoleto::Prepara(bool printing) {
  if (printing) Numera();
}

void TfrmEditaBoleto::AposImprimir() {
  Conclui();
}

Value TfrmEditaBoleto::Parametro(const std::string& name) {
  if (name == "P_BOLETO") return pBoleto_;
  if (name == "P_CDFILIAL") return importados().Count() > 0 ? importados().Key(0).substr(0, 4) : "";
  if (name == "P_NRLANBOLREC") {
    std::string all;
    for (int i = 0; i < importados().Count(); ++i) all += "_" + importados().Key(i).substr(4);
    return all;
  }
  return {};
}

void TfrmEditaBoleto::onClose() {
  Cli_rec12006::boStCriado = false;
}

int CriaGerarBoleto(host::TKeyList& klsCodigoBarra, const std::string& account,
                    host::TKeyList& klsImporBoleto,
                    std::function<void(const std::string& fileName)> baixaRelatorio) {
  static auto slot = ScreenSlot<TfrmEditaBoleto>::once(&Cli_rec12006::boStCriado);
  CreatorSteps<TfrmEditaBoleto> steps;
  steps.make = [] { return std::make_unique<TfrmEditaBoleto>(); };
  steps.copyArguments = [&](TfrmEditaBoleto&) {
    Cli_rec12006::klsCodigoBarra = &klsCodigoBarra;
    Cli_rec12006::klsImporBoleto = &klsImporBoleto;
  };
  steps.prepare = [&](TfrmEditaBoleto& f) {
    if (baixaRelatorio) f.setRefresh(baixaRelatorio);
    f.setModalResult(host::mrNone);
    f.Abre(account);
  };
  steps.show = [](TfrmEditaBoleto&) { return Show::Modal; };
  struct Release {
    ~Release() {
      // The lists are the caller's: the unit does not keep them past the call.
      Cli_rec12006::klsCodigoBarra = nullptr;
      Cli_rec12006::klsImporBoleto = nullptr;
    }
  } release;
  return runCreator(slot, steps);
}

void InstalaGerarBoleto() {
  creators().CriaGerarBoleto = [](host::TKeyList& codes, const std::string& account,
                                  host::TKeyList& keys,
                                  std::function<void(const std::string&)> refresh) {
    return CriaGerarBoleto(codes, account, keys, std::move(refresh));
  };
}

}  // namespace rec
