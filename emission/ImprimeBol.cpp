#include "emission/ImprimeBol.h"

#include <fmt/format.h>

#include <filesystem>
#include <map>
#include <optional>
#include <thread>

#include "emission/PdfWriters.h"
#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/HostDatabase.h"
#include "host/ScopedFlag.h"
#include "module/CamposValidos.h"
#include "module/Creator.h"
#include "module/Creators.h"
#include "module/SharedConnection.h"
#include "module/Units.h"
#include "numbering/Numerador.h"
#include "numbering/RemoteNumberingService.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "remote/Connection.h"
#include "report/Barcode.h"
#include "report/Export.h"
#include "report/Image.h"
#include "report/RemoteDataSource.h"
#include "report/Report.h"

namespace Cli_rec12002 {
// The unit's state: the proposal survives from one opening to the next; the others describe
// the boleto in work for the report parameters.
std::string stNossNumProposto;
std::string stFilialAtual;
std::string stLancAtual;
std::string stFormaCad;
std::string stCdReduCont;
std::string stTeste = "N";
int seqSize = 0;
}  // namespace Cli_rec12002

namespace rec {

namespace fs = std::filesystem;
namespace fld = records::fld;
using namespace Cli_rec12002;

namespace {

constexpr const char* kModeloNFA4 = "MODELONFA4_BREAL.QR2";
constexpr const char* kModeloNFDeb = "MODBOLNFDEB.QR2";
constexpr const char* kModeloDepId = "MODBOLDEPID.QR2";
constexpr const char* kViaCliente = "1º VIA - CLIENTE";
constexpr const char* kViaFixa = "2º VIA - FIXA";
/// The company whose tax number enables the "Nota Fiscal A4" model.
constexpr const char* kCnpjNotaA4 = "10020030000113";

TfrmImprimeBol* g_instance = nullptr;
int g_modeloInicial = 1;
bool g_arquivoUnico = false;
std::function<void(size_t, size_t, const std::string&)> g_progress;

/// The file name of a template: whatever path it was stored with is dropped.
std::string fileNameOf(const std::string& path) {
  const size_t cut = path.find_last_of("/\\");
  return host::AllTrim(cut == std::string::npos ? path : path.substr(cut + 1));
}

std::string withSeparator(std::string dir) {
  if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
  return dir;
}

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

numbering::BankAccountRow accountRow(const host::ClientDataset& ds) {
  numbering::BankAccountRow row = numbering::BankAccountRowOf(ds);
  numbering::NormalizaBanco(row);
  return row;
}

/// The current row's `field`, trimmed; "" while the dataset is closed or empty. A field the
/// dataset lacks is no empty value: it throws, naming the dataset and the field.
std::string settingOf(const host::ClientDataset& ds, const records::Field& field) {
  return ds.active() && !ds.isEmpty() ? host::AllTrim(ds.valueOf(field).asString()) : std::string();
}

std::string digitsOf(std::string_view s) {
  std::string d;
  for (char c : s)
    if (c >= '0' && c <= '9') d += c;
  return d;
}

}  // namespace

/// One run of the screen: print, preview, save as or the file run.
struct TfrmImprimeBol::Run {
  enum class Mode { Print, Preview, Save, File };

  TfrmImprimeBol& f;
  Mode mode;
  std::string directory;
  int format = -1;  ///< save as: the tag of the chosen format
  const records::EmissionOrder& order;
  numbering::RemoteNumberingService servico;
  numbering::BankAccountRow conta;
  numbering::Numerador numerador;
  remote::Connection qrd{rpc::kQRDesign};
  report::RemoteDataSource data;
  report::ReportPrinter printer{data};
  std::string barcode;  ///< of the boleto in work, for DIRBARCODE
  bool copyMark = false;

  Run(TfrmImprimeBol& screen, Mode m, std::string dir)
      : f(screen),
        mode(m),
        directory(std::move(dir)),
        order(screen.order()),
        servico(netHabContRec()),
        conta(accountRow(screen.cdsContCorr)),
        numerador(conta, order.klCarteira, servico, screen.messages()) {
    // The register may work on another company than the host's: the templates and the
    // report's data are read for the register's.
    qrd.setCompany(netHabContRec().company());
    data.setCompany(netHabContRec().company());
    numerador.setDataProcessamento(host::DataProc());
    printer.setParameterEvent([this](const std::string& p) { return parameter(p); });
    if (f.printPort_) printer.setPrintPort(f.printPort_);
    if (f.previewPort_) printer.setPreviewPort(f.previewPort_);
  }

  remote::Connection& conn() { return netHabContRec(); }
  const std::string& sisDos() const { return order.IDSISDOS; }
  std::string account() const { return settingOf(f.cdsContCorr, fld::CDREDUCONT); }
  std::string accountField(const records::Field& field) const {
    return settingOf(f.cdsContCorr, field);
  }

  host::Value parameter(const std::string& p) {
    if (p == "P_NOTAPROM") {
      const auto& c = f.control("chbNotaProv");
      return std::string(c.visible() && c.checked() ? "S" : "N");
    }
    if (p == "P_CDFILIAL") return stFilialAtual;
    if (p == "P_NRLANBOLREC") return stLancAtual;
    if (p == "P_TESTE") return std::string(stTeste == "S" ? "S" : "N");
    if (p == "NRLISTA") return nrLista();
    if (p == "P_VIA") return std::string(copyMark ? kViaCliente : kViaFixa);
    if (p == "DIRBARCODE")
      return report::saveBarcodeImage(host::DirWinTemp(), barcode, host::Now());
    return {};
  }

  std::string nrLista() const {
    const auto& aux = f.cdsCriaListaAux;
    return aux.active() && !aux.isEmpty() ? aux.valueAt(1, fld::NRLISTA).asString() : std::string();
  }

  // ------------------------------------------------------------ the report component

  /// Asks the service for the template's setting and date, and gives the local path.
  /// What the service says of a template: its reference setting and date, asked once a run.
  struct TemplateInfo {
    std::string path;  ///< in the report directory
    std::string setting;
    host::DateTime date;
  };
  std::map<std::string, TemplateInfo> templates;

  const TemplateInfo& templateInfo(const std::string& templateName) {
    if (host::EmptyString(templateName)) f.error("Arq_Inv");
    std::string name = fileNameOf(templateName);
    if (auto it = templates.find(name); it != templates.end()) return it->second;
    if (!qrd.connected() && !qrd.connect())
      host::MensErro(fmt::format("Sem conexão com o serviço de relatórios: {}", qrd.lastError()));
    const std::string asked = name;
    const std::string answer =
        rpc::call(qrd, rpc::RetornaRelatorio{.NMARQUIVO = name, .Parametro = " "}).asString();
    TemplateInfo info;
    const size_t nl = answer.find('\n');
    info.setting = answer.substr(0, nl);
    if (nl != std::string::npos) {
      if (auto d = host::DateTime::parse(host::AllTrim(answer.substr(nl + 1)), "yyyymmddhhnnss"))
        info.date = *d;
    }
    info.path = host::ReportDir() + name;
    return templates[asked] = std::move(info);
  }

  /// The template's path, with the report component set up for it; `date` its date.
  std::string prepareTemplate(const std::string& templateName, host::DateTime& date) {
    const TemplateInfo& info = templateInfo(templateName);
    printer.setSetting(info.setting);
    date = info.date;
    return info.path;
  }

  void EmiteRelatorio(const std::string& templateName) {
    host::DateTime date;
    const std::string path = prepareTemplate(templateName, date);
    printer.PrintReport(path);
  }

  void VisualizarRelatorio(std::string templateName, bool flag) {
    const int model = f.model();
    if (model == 2 && !flag) templateName = sisDos() == "3" ? kModeloNFDeb : kModeloNFA4;
    host::DateTime date;
    const std::string path = prepareTemplate(templateName, date);
    if (!fs::exists(path) && model != 2) f.error(model == 1 ? "MODCHQ_NC" : "MODBOLPRE_NC");
    printer.PreviewReport(path);
  }

  void output(const std::string& templateName, bool flag = false) {
    if (mode == Mode::Preview)
      VisualizarRelatorio(templateName, flag);
    else
      EmiteRelatorio(templateName);
  }

  /// Save as: the boleto in work exported on `templateName` in the chosen format, under the
  /// name the operator confirms in the save dialog. A cancelled dialog writes nothing.
  void SalvarRelatorio(const std::string& templateName, const std::string& modelText,
                       const std::string& name) {
    host::DateTime date;
    const std::string path = prepareTemplate(templateName, date);
    if (!fs::exists(path) && modelText != "2")
      f.error(modelText == "1" ? "MODCHQ_NC" : "MODBOLPRE_NC");
    const report::ExportFormat* kind = report::exportFormat(format);
    BOLETO_CHECK(kind != nullptr, "save as without a format");
    const std::string ext(kind->extension);
    const auto chosen = host::dialogs().saveFile("Salvar como", std::string(kind->filter), ext,
                                                 host::ReportDir() + name + "." + ext);
    if (!chosen || host::EmptyString(*chosen)) return;
    host::ScopedFlag working(Cli_rec12002::FWorking);
    const auto engine = report::makeExportEngine(format, *chosen);
    printer.ExportReport(path, date, *engine);
    f.files_.insert(f.files_.end(), engine->files().begin(), engine->files().end());
  }

  /// The name save as proposes for a boleto: its own payer, due date, document and key (not
  /// whichever row the register shows, which would give every file of a run one name).
  std::string saveName(const std::string& key) const {
    std::string document = row(fld::FTR_NRNOTAFISC);
    document = document.substr(0, document.find('/'));
    return CamposValidos(row(fld::NRINSJURCLIE)) + "_" + dueText() + "_" + CamposValidos(document) +
           "_" + key;
  }

  /// The PDF file of an export: the dated folder is made, and the template must be in the
  /// report directory (otherwise the message of `key`, with its path, is the error).
  std::string exportFile(const std::string& name, const TemplateInfo& info,
                         const std::string& key) {
    const std::string folder =
        withSeparator(directory) + "Boletos_Emitidos/" + host::Now().format("yyyy-mm-dd") + "/";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
      host::MensErro(fmt::format("Não foi possível criar a pasta {}: {}", folder, ec.message()));
    if (!fs::exists(info.path)) f.error(key, {info.path});
    return folder + name + ".pdf";
  }

  std::string SalvarEmissao(const std::string& name, const std::string& templateName,
                            const std::string& key) {
    host::DateTime date;
    const std::string path = prepareTemplate(templateName, date);
    const std::string file = exportFile(name, templates.at(fileNameOf(templateName)), key);
    host::ScopedFlag working(Cli_rec12002::FWorking);
    report::PdfExportEngine engine(file);
    printer.ExportReport(path, date, engine);
    f.files_.push_back(engine.fileName());
    return engine.fileName();
  }

  // ------------------------------------------------------------ the file run's writers

  std::optional<PdfWriters> writers;
  bool firstSaved = true;  ///< save as, complete models: no boleto saved yet
  /// The run in one file: each boleto's pages, by position in the print order, written
  /// together once every boleto is laid out.
  bool oneFile = false;
  std::map<size_t, PdfDone> keptPages;
  std::string oneFileFolder;
  size_t kept = 0;
  size_t emitted = 0;
  size_t total = 0;
  std::exception_ptr writeError;

  /// Queues the boleto in work to be written on `templateName` as `name`.pdf.
  void queueExport(const std::string& key, const std::string& name, const std::string& templateName,
                   bool firstCopy) {
    const TemplateInfo& info = templateInfo(templateName);
    PdfJob job;
    job.key = key;
    job.file = exportFile(name, info, "1");
    if (oneFile) {
      oneFileFolder = fs::path(job.file).parent_path().string() + "/";
      job.keepPages = true;
      job.position = kept++;
    }
    job.templatePath = info.path;
    job.setting = info.setting;
    job.templateDate = info.date;
    copyMark = firstCopy;
    for (const char* p :
         {"P_NOTAPROM", "P_CDFILIAL", "P_NRLANBOLREC", "P_TESTE", "NRLISTA", "P_VIA"})
      job.parameters[p] = parameter(p);
    copyMark = false;
    job.barcode = barcode;
    job.markEmitted = upper(row(fld::FTR_IDSTATBREC)) != "E";
    writers->submit(std::move(job));
  }

  /// The boletos written since the last look: recorded as emitted and counted; the first
  /// failure is kept for the end of the run.
  void collectWritten() {
    for (auto& done : writers->takeDone()) {
      if (done.error) {
        if (!writeError) writeError = done.error;
        continue;
      }
      if (done.job.keepPages) {
        keptPages.emplace(done.job.position, std::move(done));
        continue;
      }
      f.files_.push_back(done.job.file);
      if (done.job.markEmitted) altBoletos(done.job.key);
      if (g_progress) g_progress(++emitted, total, done.job.key);
    }
  }

  /// Waits for the writers and records what they wrote; `report` raises their first failure.
  void finishWriting(bool report) {
    if (!writers) return;
    writers->finish();
    if (report) {
      collectWritten();
      if (writeError) std::rethrow_exception(writeError);
      writeOneFile();
    } else {
      try {
        collectWritten();
      } catch (...) {
        // The failure being raised already is the one the operator must see.
      }
    }
  }

  /// The boletos kept by the writers as one PDF, in print order; each is recorded as emitted
  /// only once that file is written whole.
  void writeOneFile() {
    if (keptPages.empty()) return;
    // Only the sizes and dates of the boletos' documents are joined: their pages are drawn.
    report::Document doc;
    std::vector<std::shared_ptr<const report::DrawnPdf>> drawn;
    for (auto& [at, done] : keptPages) {
      appendPages(doc, std::move(done.pages));
      drawn.push_back(done.drawn);
    }
    const std::string stem = oneFileFolder + "Boletos_" + host::Now().format("yyyymmdd-hhnnss");
    // A second run within the same second writes beside the first, never over it.
    std::string file = stem + ".pdf";
    for (int n = 2; fs::exists(file); ++n) file = fmt::format("{}-{}.pdf", stem, n);
    report::writeFileAtomically(file, report::renderPdf(drawn, "Boletos", doc.date));
    f.files_.push_back(file);
    for (auto& [at, done] : keptPages) {
      if (done.job.markEmitted) altBoletos(done.job.key);
      if (g_progress) g_progress(++emitted, total, done.job.key);
    }
    keptPages.clear();
  }

  // ------------------------------------------------------------ the run

  std::string entryText(const host::KeyValue& entry) const {
    std::string text;
    for (size_t i = 0; i < 3; ++i) {
      if (i) text += " - ";
      text += entry.element(i).asString();
    }
    return text;
  }

  /// The boleto's entry of klEmissao: by its key, so that a print order other than the
  /// list's order still pairs each boleto with its own entry.
  const host::KeyValue* entryOf(const std::string& key, size_t position) const {
    const auto& kl = order.klEmissao;
    int i = kl.IndexOf(key);
    // The entry's key holds the number the boleto had when the list was made; a run that
    // stopped half-way has written the numbers it gave into the emission order since.
    for (int j = 0; i < 0 && j < kl.Count(); ++j)
      if (kl.Key(j).compare(0, 14, key, 0, 14) == 0) i = j;
    if (i < 0 && position < static_cast<size_t>(kl.Count())) i = static_cast<int>(position);
    return i >= 0 ? &kl.Sum(i) : nullptr;
  }

  /// The boleto in work's `field` in the order.
  std::string row(const records::Field& field) const {
    return order.cdsBolEmitOrd.valueOf(field).asString();
  }

  void testBoleto() {
    stTeste = "S";
    stFilialAtual.clear();
    stLancAtual.clear();
    stFormaCad.clear();
    if (mode == Mode::File) return;
    const int model = f.model();
    if (mode == Mode::Preview) {
      const auto& ds = order.cdsBolEmitOrd;
      const bool credit = ds.active() && !ds.isEmpty() && upper(row(fld::IDBAIXAUTILR)) == "C";
      if (credit && sisDos() == "3")
        VisualizarRelatorio(kModeloDepId, true);
      else
        VisualizarRelatorio(accountField(model == 1 ? fld::DSARQBOLCOMP : fld::DSARQBOLPREI),
                            false);
      return;
    }
    if (mode == Mode::Save) {
      SalvarRelatorio(accountField(model == 1 ? fld::DSARQBOLCOMP : fld::DSARQBOLPREI),
                      model == 0 ? "0" : "1", "BOLETO_TESTE");
      return;
    }
    EmiteRelatorio(accountField(model == 1 ? fld::DSARQBOLCOMP : fld::DSARQBOLPREI));
  }

  /// Where each boleto of the list stood in the order when the list was made.
  std::map<std::string, size_t> positions;

  /// Puts the order's cursor on the boleto `key`. Each boleto's codes are written into the
  /// order as it is numbered, which makes a search start over every time: the position noted
  /// when the list was made is tried first.
  bool moveTo(const std::string& key) {
    auto& ds = order.cdsBolEmitOrd;
    if (auto it = positions.find(key); it != positions.end() && it->second <= ds.recordCount()) {
      ds.setRecNo(it->second);
      if (row(fld::CDFILIAL) + row(fld::NRLANBOLREC) == key) return true;
    }
    return ds.locate(records::kBoletoKeyFields, {key.substr(0, 4), key.substr(4)});
  }

  std::vector<std::string> buildList() {
    auto& cl = f.cdsCriaLista;
    cl.emptyDataset();
    order.AplicaOrdemImpres();
    std::vector<std::string> keys;
    auto& ds = order.cdsBolEmitOrd;
    if (!ds.active()) return keys;
    ds.first();
    std::string lastBranch;
    positions.clear();
    while (!ds.eof()) {
      const std::string key = row(fld::CDFILIAL) + row(fld::NRLANBOLREC);
      positions.emplace(key, ds.recNo());
      cl.append();
      cl.fieldByName(fld::CDLISTA).setString(key);
      cl.post();
      keys.push_back(key);
      lastBranch = row(fld::CDFILIAL);
      ds.next();
    }
    const auto answer =
        rpc::call(conn(), rpc::CriaLista{.cdsCriaLista = remote::Variant::packet(cl.toPacket()),
                                         .CDFILIAL = lastBranch});
    const auto items = answer.items();
    if (items.size() < 2 || !items[1].isPacket())
      host::MensErro("Resposta inesperada do serviço em CriaLista.");
    f.cdsCriaListaAux.loadPacket(items[1].packetJson());
    return keys;
  }

  /// The start number typed on the screen: checked against the proposal's shape and check
  /// character, then the pre-printed sequence restarts just below it.
  void typedStart() {
    const std::string t = host::AllTrim(f.control("medNossNum").text());
    const std::string& proposal = stNossNumProposto;
    const size_t dash = proposal.find('-');
    if (t != proposal) {
      if (t.size() != proposal.size()) f.failOn("medNossNum", "NosNumInv");
      if (dash != std::string::npos) {
        const size_t tdash = t.find('-');
        if (tdash == std::string::npos) f.failOn("medNossNum", "Digit_inf");
        const std::string part = t.substr(0, tdash), ppart = proposal.substr(0, dash);
        if (digitsOf(part).size() != digitsOf(ppart).size() || digitsOf(part).empty())
          f.failOn("medNossNum", "NosNumInv");
        // Only the sequence's digits may differ from the proposal's shape.
        for (size_t i = 0; i < part.size(); ++i) {
          const bool d = part[i] >= '0' && part[i] <= '9';
          const bool pd = i < ppart.size() && ppart[i] >= '0' && ppart[i] <= '9';
          if (d != pd) f.failOn("medNossNum", "NosNumInv");
        }
        const std::string expected = numerador.Retorna_NossoNumero(
            "", "", "", host::Right(digitsOf(part), static_cast<size_t>(seqSize)), stFormaCad);
        const size_t edash = expected.find('-');
        const std::string dv = t.substr(tdash + 1);
        const std::string edv =
            edash == std::string::npos ? std::string() : expected.substr(edash + 1);
        if (dv.size() != edv.size()) f.failOn("medNossNum", "NosNumInv");
        if (dv != edv) f.failOn("medNossNum", "Digit_Invalid");
      } else if (!host::IsDigits(t) || t.size() != digitsOf(proposal).size()) {
        f.failOn("medNossNum", "NosNumInv");
      }
    }
    const std::string number = digitsOf(t.substr(0, t.find('-')));
    if (number.empty() || numbering::ComparaNumeros(number, "0") == 0)
      f.failOn("medNossNum", "NosNumInv");
    std::string below = host::Right(number, static_cast<size_t>(seqSize));
    for (size_t i = below.size(); i-- > 0;) {
      if (below[i] != '0') {
        --below[i];
        break;
      }
      below[i] = '9';
    }
    std::string code = account();
    std::string counter = host::Ajusta(below, fld::NRSEQUENCIA.width());
    std::string lista = nrLista();
    std::string cdLista = f.cdsCriaListaAux.active() && !f.cdsCriaListaAux.isEmpty()
                              ? f.cdsCriaListaAux.valueAt(1, fld::CDLISTA).asString()
                              : std::string();
    rpc::call(
        conn(),
        rpc::SetNovoCod{
            .CDREDUCONT = code, .NRSEQUENCIA = counter, .NRLISTA = lista, .CDLISTA = cdLista});
  }

  void altBoletos(const std::string& key) {
    rpc::call(conn(), rpc::AltBoletos{.count = 1, .NRLISTA = "", .CDLISTA = key});
  }

  /// The value the account's counter of the model hands out next; the service takes it only
  /// with the number it becomes.
  std::string nextSequence(const char* counter) {
    return servico.GetNossoNumero(counter + account());
  }

  /// The codes the boleto carries: the emission order's, or, when it has none, the service's
  /// (another run may have numbered the boleto since the list was loaded). A number without
  /// its barcode gets the barcode of that number. Nothing when the boleto has no number.
  std::optional<numbering::CodigosBoleto> storedCodes(const std::string& branch,
                                                      const std::string& number,
                                                      numbering::Modelo model) {
    const std::string nosso = host::AllTrim(row(fld::CDNOSNUMREC));
    const std::string barras = host::AllTrim(row(fld::CDBARRAREC));
    numbering::CodigosBoleto codes;
    if (!nosso.empty() && (barras.size() == 44 || model == numbering::Modelo::PreImpresso)) {
      codes.armazenado = true;
      codes.nossoNumero = nosso;
      codes.codigoBarras = codes.codigoImagem = barras;
      return codes;
    }
    const numbering::CodigosArmazenados s = servico.CodigosDoBoleto(branch, number);
    if (s.nossoNumero.empty()) return std::nullopt;
    if (!s.codigoBarras.empty() || model == numbering::Modelo::PreImpresso) {
      codes.armazenado = true;
      codes.nossoNumero = s.nossoNumero;
      codes.codigoBarras = codes.codigoImagem = s.codigoBarras;
      return codes;
    }
    auto seq = numerador.SequenciaDoNossoNumero(branch, number, s.nossoNumero);
    if (!seq) f.error("ERR_GERA_NOSNUM");
    auto made = numerador.Gera_CodigodeBarra(branch, number, *seq, false, model, stFormaCad);
    if (!made) f.error("ERR_GERA_NOSNUM");
    if (!made->armazenado) {
      // The bank lays out no barcode for these data: the boleto keeps its number and goes
      // out without bars, as a boleto numbered for the first time would.
      made->armazenado = true;
      made->nossoNumero = s.nossoNumero;
    }
    return made;
  }

  /// The codes stored for the boleto in work, written into its row of the emission order:
  /// pressing print again after a failure must find the number, not take another.
  void writeBack(const numbering::CodigosBoleto& codes) {
    auto& ds = order.cdsBolEmitOrd;
    if (row(fld::CDNOSNUMREC) == codes.nossoNumero && row(fld::CDBARRAREC) == codes.codigoImagem)
      return;
    ds.edit();
    ds.fieldByName(fld::CDNOSNUMREC.name).setString(codes.nossoNumero);
    ds.fieldByName(fld::CDBARRAREC.name).setString(codes.codigoImagem);
    ds.post();
  }

  /// A boleto settled by credit to the account, printed as an identified deposit.
  void identifiedDeposit(const std::string& key) {
    const std::string branch = key.substr(0, 4), number = key.substr(4);
    const std::string& company = order.CDEMPRESA;
    if (!numerador.UsaDepIdentificado(company)) {
      f.showMsg("BANCO_NUTIL_DI");
      return;
    }
    const std::string id = numerador.GeraDepIdentificado(branch, number, company);
    std::string linha, barras, nosso, b = branch, n = number, model, code = account();
    servico.SetCodBarra({.DSLINHABARREC = linha,
                         .CDBARRAREC = barras,
                         .CDNOSNUMREC = nosso,
                         .CDFILIAL = b,
                         .NRLANBOLREC = n,
                         .CDDEPIDENREC = id,
                         .IDBOLEMITIDO = model,
                         .CDREDUCONT = code});
    stFilialAtual = branch;
    stLancAtual = number;
    barcode.clear();
    const bool nfDeb = f.model() == 2;
    output(nfDeb ? kModeloNFDeb : kModeloDepId, !nfDeb);
    // The boleto in work decides, not whichever row the register happens to show.
    if (mode != Mode::Preview && upper(row(fld::FTR_IDSTATBREC)) != "E") altBoletos(key);
  }

  /// Numbers this run has handed out so far.
  int handedOut = 0;
  /// How many numbers the range check covers from the counter on: the run's list less those
  /// already handed out by it. Each check begins at the counter, which has moved past them;
  /// counting them again refused a run that fits its range exactly at its last boleto, after
  /// the others were numbered.
  int remaining(int n) const { return std::max(1, n - handedOut); }

  /// Returns false when the boleto is left to the file writers.
  bool completeModel(const std::string& key, int n) {
    const std::string branch = key.substr(0, 4), number = key.substr(4);
    const int model = f.model();
    const auto modelo = static_cast<numbering::Modelo>(model);
    // A boleto that carries a number is printed with it, its barcode and its typed line, on
    // every reissue, reprint and preview: what is printed once is what the bank knows.
    std::optional<numbering::CodigosBoleto> codes = storedCodes(branch, number, modelo);
    if (!codes) {
      // The range check read the counter and passed over the numbers already taken: the
      // numbering starts from the first free value it found rather than asking again.
      const std::string first = numerador.Valida_Faixa_Numerica(modelo, stFormaCad, remaining(n));
      if (seqSize == 0) f.error("ESTRUT_CONFIG");
      const size_t significant = first.find_first_not_of('0');
      codes = numerador.Gera_CodigodeBarra(branch, number,
                                           significant == std::string::npos
                                               ? nextSequence("NOSSONUMERO")
                                               : first.substr(significant),
                                           true, modelo, stFormaCad);
      if (!codes || !codes->armazenado) f.error("ERR_GERA_NOSNUM");
      ++handedOut;
    }
    writeBack(*codes);
    barcode = codes->codigoImagem;
    const bool nfDeb = sisDos() == "3";
    if (mode == Mode::File) {
      // Recorded as emitted once its file is written (collectWritten). The invoice model is
      // written too: a file run that wrote nothing for it would report boletos as emitted
      // that nobody can print or send.
      if (model == 1)
        queueExport(key, fileName(key), accountField(fld::DSARQBOLCOMP), false);
      else
        queueExport(key, fileName(key), nfDeb ? kModeloNFDeb : kModeloNFA4, !nfDeb);
      return false;
    }
    if (mode == Mode::Save) {
      if (model == 1)
        SalvarRelatorio(accountField(fld::DSARQBOLCOMP), "1", saveName(key));
      else
        SalvarRelatorio(nfDeb ? kModeloNFDeb : kModeloNFA4, "2", saveName(key));
      // Saved or not, the boleto went out: the first marks the run's whole list, each later
      // one itself.
      if (firstSaved)
        markList();
      else
        altBoletos(key);
      firstSaved = false;
      return true;
    }
    if (mode == Mode::Preview) {
      output(accountField(fld::DSARQBOLCOMP), false);
    } else if (model == 1) {
      EmiteRelatorio(accountField(fld::DSARQBOLCOMP));
    } else if (nfDeb) {
      EmiteRelatorio(kModeloNFDeb);
    } else {
      for (int via = 0; via < 3; ++via) {
        copyMark = via == 0;
        EmiteRelatorio(kModeloNFA4);
      }
      copyMark = false;
    }
    if (upper(row(fld::FTR_IDSTATBREC)) != "E") altBoletos(key);
    return true;
  }

  /// Returns false when the boleto was skipped.
  bool prePrinted(const std::string& key, bool first, int n, const std::string& typed) {
    const std::string branch = key.substr(0, 4), number = key.substr(4);
    if (seqSize == 0) f.error("ESTRUT_CONFIG");
    // A boleto numbered before keeps its number: a reprint never renumbers it.
    auto codes = storedCodes(branch, number, numbering::Modelo::PreImpresso);
    if (!codes) {
      numerador.Valida_Faixa_Numerica(numbering::Modelo::PreImpresso, stFormaCad, remaining(n),
                                      typed);
      const auto stored =
          numerador.NumeraPreImpresso(branch, number, nextSequence("NOSSONUMPREIMP"), stFormaCad);
      ++handedOut;
      codes = numbering::CodigosBoleto{};
      codes->armazenado = !stored.nossoNumero.empty();
      codes->nossoNumero = stored.nossoNumero;
    }
    if (!codes->armazenado) {
      if (mode == Mode::File) {
        ++Cli_rec12002::inBolErro;
        return false;
      }
      f.error("ERR_GERA_NOSNUM");
    }
    writeBack(*codes);
    barcode.clear();
    if (mode == Mode::Save)
      SalvarRelatorio(accountField(fld::DSARQBOLPREI), "0", saveName(key));
    else if (mode != Mode::File)
      output(accountField(fld::DSARQBOLPREI));
    if (first) markList();
    return true;
  }

  /// Every boleto of the run's list marked emitted, once for each row of the list's answer.
  void markList() {
    auto& aux = f.cdsCriaListaAux;
    const std::string lista = nrLista();
    for (size_t r = 1; aux.active() && r <= aux.recordCount(); ++r)
      rpc::call(conn(), rpc::AltBoletos{.count = order.klEmissao.Count(),
                                        .NRLISTA = lista,
                                        .CDLISTA = aux.valueAt(r, fld::CDLISTA).asString()});
  }

  /// The boleto in work's due date as "ddmmyyyy"; "" when it does not read as a date.
  std::string dueText() const {
    const host::Value due = order.cdsBolEmitOrd.valueOf(fld::FTR_DTVENBOLREC);
    try {
      if (!due.isNull()) return due.asDate().format("ddmmyyyy");
    } catch (const std::invalid_argument&) {
      // A due date that does not read as one leaves that part of the name empty.
    }
    return {};
  }

  std::string fileName(const std::string& key) const {
    return CamposValidos(row(fld::NRINSJURCLIE)) + "_" + CamposValidos(row(fld::FTR_NMRAZSOCCLIE)) +
           "_" + dueText() + "_" + CamposValidos(row(fld::FTR_NRNOTAFISC)) + "_" + key;
  }

  void go() {
    f.ValidaEmissaoBoleto();
    if (mode != Mode::File && f.control("chbTeste").checked()) {
      testBoleto();
      return;
    }
    if (mode == Mode::File && f.control("chbTeste").checked()) testBoleto();
    const int model = f.model();
    const std::string modelText = model == 0 ? "1" : "2";
    const std::vector<std::string> keys = buildList();
    const std::string lista = nrLista();
    total = keys.size();
    std::optional<host::ScopedFlag> working;  // set while reports are exported to files
    if (mode == Mode::File && model != 0) {
      oneFile = f.control("chbArquivoUnico").checked();
      working.emplace(Cli_rec12002::FWorking);
      const size_t cores = std::max(1u, std::thread::hardware_concurrency());
      writers.emplace(std::min<size_t>(cores, 4), netHabContRec().company());
    }
    try {
      const bool typed = mode != Mode::File && model == 0 && f.control("ccbGeraNossum").checked();
      if (typed) typedStart();
      stTeste = "N";
      const int n = order.klEmissao.Count();
      bool firstPrePrinted = true;
      for (size_t i = 0; i < keys.size(); ++i) {
        if (writers) {
          collectWritten();
          if (writers->failed()) break;
        }
        const std::string& key = keys[i];
        if (!moveTo(key)) continue;
        if (mode != Mode::File && upper(row(fld::IDBAIXAUTILR)) == "C") {
          if (sisDos() == "3")
            identifiedDeposit(key);
          else if (const auto* e = entryOf(key + row(fld::CDNOSNUMREC), i))
            f.showMsg("NImprimeCredConta", {entryText(*e)});
          continue;
        }
        seqSize = numerador.seqSize();
        if (const auto* e = entryOf(key + row(fld::CDNOSNUMREC), i)) {
          const std::string before = host::AllTrim(e->element(3).asString());
          if (!before.empty() && before != modelText) {
            f.showMsg("NPrint", {entryText(*e)});
            continue;
          }
        }
        stFilialAtual = key.substr(0, 4);
        stLancAtual = key.substr(4);
        stFormaCad = host::AllTrim(row(fld::IDFORMCADBREC));
        if (stFormaCad.empty()) stFormaCad = conta.formaCadastro();
        bool done = true;
        if (model != 0) {
          done = completeModel(key, n);
        } else {
          // The typed start is checked once: afterwards it is the first boleto's own number.
          const std::string start =
              typed && firstPrePrinted ? host::AllTrim(f.control("medNossNum").text()) : "";
          done = prePrinted(key, firstPrePrinted, n, start);
          if (done) firstPrePrinted = false;
        }
        if (done && g_progress) g_progress(++emitted, keys.size(), key);
      }
      finishWriting(true);
    } catch (...) {
      // What was written before the failure stays written and is recorded as emitted.
      finishWriting(false);
      apagaLista(lista, false);
      throw;
    }
    apagaLista(lista, true);
  }

  void apagaLista(std::string lista, bool report) {
    if (lista.empty()) return;
    try {
      rpc::call(conn(), rpc::ApagaLista{.NRLISTA = lista});
    } catch (...) {
      // After a failure the operator must hear of that failure, not of the clean-up.
      if (report) throw;
    }
  }
};

// ------------------------------------------------------------------ the screen

TfrmImprimeBol::TfrmImprimeBol() : host::ScreenModel("TfrmImprimeBol", "REC12002", "Boleto") {
  messages() = host::TMessages{
      {"ESTRUT_CONFIG",
       "Operação bloqueada! Descrição do nosso número da conta cobrança não está parametrizada."},
      {"ERR_GERA_NOSNUM",
       "Ocorreu um erro na geração do nosso número. Verifique as parametrizações de descrição "
       "do nosso número e código do banco na câmera de compensação."},
      {"NosNumInv", "Nosso número inválido."},
      {"Digit_inf", "Dígito verificador do nosso número deve ser informado."},
      {"Digit_Invalid", "Dígito verificador do nosso número é inválido."},
      {"NN_JA_CAD", "Operação Bloqueada! Nosso número já cadastrado."},
      {"NOSSO<SEQ", "Operação bloqueada! Nosso número fora da faixa parametrizada."},
      {"Arq_Inv", "Arquivo contendo o modelo de boleto não foi encontrado."},
      {"MODBOLPRE_NC", "Modelo de boleto pré-impresso não cadastrado."},
      {"MODBOLCOMP_NC", "Modelo de boleto completo não cadastrado."},
      {"MODCHQ_NC", "Modelo de boleto completo não cadastrado."},
      {"MODNF_A4_NC", "Modelo de nota fiscal A4 não cadastrado."},
      {"MODNFDEB_NC", "Modelo de boleto nota fiscal de débito não encontrado."},
      {"MODDEPIDENT_NC", "Modelo de boleto depósito identificado não encontrado."},
      {"EMPR_DI_NH",
       "Operação bloqueada!Apenas as empresas 04 e 08 utilizam geração de depósito identificado."},
      {"NPrint",
       "Operação bloqueada! Boleto selecionado foi emitido para outro modelo de impressão : %s"},
      {"NImprimeCredConta",
       "Boleto com tipo de baixa classificado como \"Crédito em Conta\" não pode ser impresso: %s"},
      {"BANCO_NUTIL_DI", "Banco não utiliza depósito identificado."},
      {"BANC_DI_NH", "Banco não utiliza depósito identificado."},
      // The file run names its missing template with this key.
      {"1", "Modelo de boleto não encontrado: %s"},
  };
  auto& model = addControl("cbbModeloRel", host::ControlKind::Combo);
  model.setItems({"Boleto (Pré-impresso)", "Boleto (Completo)"});
  model.setItemIndex(1);
  model.onChange = [this] { cbbModeloRelChange(); };
  addControl("chbTeste", host::ControlKind::Check).setCaption("Imprimir Boleto de Teste");
  addControl("chbNotaProv", host::ControlKind::Check).setCaption("Imprimir Nota Promissória");
  auto& oneFile = addControl("chbArquivoUnico", host::ControlKind::Check);
  oneFile.setCaption("Todos os boletos em um arquivo");
  oneFile.setChecked(g_arquivoUnico);
  auto& group = addControl("grpNossoNumero", host::ControlKind::Panel);
  group.setCaption("Nosso Número");
  auto& edit = addControl("medNossNum", host::ControlKind::Edit, &group);
  edit.setReadOnly(true);
  auto& change = addControl("ccbGeraNossum", host::ControlKind::Check, &group);
  change.setCaption("Alterar nosso número");
  change.onClick = [this] { ccbGeraNossumClick(); };
  addControl("sbtPrint", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtPrintClick(); });
  };
  addControl("sbtPreview", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtPreviewClick(); });
  };
  addControl("sbtSalvarComo", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtSalvarComoClick(); });
  };
  // The formats' menu, shown under the button; picking an entry closes it.
  auto& saveAs = addControl("pmnSalvarComo", host::ControlKind::Panel);
  saveAs.setVisible(false);
  for (int tag = 0; tag < static_cast<int>(saveAsItems().size()); ++tag) {
    const report::ExportFormat* format = report::exportFormat(tag);
    const std::string filter(format->filter);
    auto& item = addControl(saveAsItems()[tag], host::ControlKind::MenuItem, &saveAs);
    item.setCaption(filter.substr(0, filter.find('|')));
    item.onClick = [this, tag] {
      control("pmnSalvarComo").setVisible(false);
      run([this, tag] { mnuSalvarTextoClick(tag); });
    };
  }
  addControl("sbtCancelar", host::ControlKind::Button).onClick = [this] { sbtCancelarClick(); };
  group.setEnabled(false);
  change.setEnabled(false);
  cdsCriaLista.setFieldDefs(records::cdsCriaLista().fields());
  cdsCriaLista.createDataset();
  g_instance = this;
}

TfrmImprimeBol::~TfrmImprimeBol() {
  if (g_instance == this) g_instance = nullptr;
}

TfrmImprimeBol* frmImprimeBol() {
  return g_instance;
}

void setModeloInicial(int item) {
  g_modeloInicial = item;
}

void setArquivoUnicoInicial(bool on) {
  g_arquivoUnico = on;
}

void setEmissionProgress(std::function<void(size_t, size_t, const std::string&)> f) {
  g_progress = std::move(f);
}

int TfrmImprimeBol::model() const {
  return control("cbbModeloRel").itemIndex();
}

void TfrmImprimeBol::setPrintPort(std::shared_ptr<report::PrintPort> port) {
  printPort_ = std::move(port);
}
void TfrmImprimeBol::setPreviewPort(std::shared_ptr<report::PreviewPort> port) {
  previewPort_ = std::move(port);
}

const records::EmissionOrder& TfrmImprimeBol::order() const {
  BOLETO_CHECK(order_.has_value(), "the emission screen was opened without an order");
  return *order_;
}

void TfrmImprimeBol::Abre(const records::EmissionOrder& order) {
  // The order comes from the register's own table; one that lacks a column would read as
  // empty values, and an empty status as "not emitted yet".
  if (order.cdsBolEmitOrd.fieldCount() > 0) records::cdsBolEmitOrd().requireIn(order.cdsBolEmitOrd);
  if (order.klContas.Count() == 0) host::MensErro("Nenhuma conta cobrança nos boletos a emitir.");
  const std::string account = order.klContas.Key(0);
  order_.emplace(order);
  // The third model: the debit note where identified deposits are in use, otherwise the
  // invoice A4 for the one company that prints it.
  std::vector<std::string> items = control("cbbModeloRel").items();
  if (order.IDSISDOS == "3") {
    items.push_back("Boleto Nota Fiscal de Débito - GR");
  } else {
    host::TADOIBQuery q("qryEmpresaNFA4");
    q.ParamByName("P_CDEMPRESA") = order.CDEMPRESA;
    q.ParamByName("P_NRINSJUREMPR") = std::string(kCnpjNotaA4);
    q.Open();
    if (!q.IsEmpty()) items.push_back("Nota Fiscal A4");
    q.Close();
  }
  control("cbbModeloRel").setItems(items);
  const int first = g_modeloInicial >= 0 && g_modeloInicial < static_cast<int>(items.size())
                        ? g_modeloInicial
                        : 1;
  control("cbbModeloRel").setItemIndex(first);
  cbbModeloRelChange();
  control("chbNotaProv").setVisible(order.IDEXIBDADORC == "S");
  control("medNossNum").setText(stNossNumProposto);

  stCdReduCont = account;
  ensureConnected();
  std::string code = account;
  fetchBankAccount(netHabContRec(), code, cdsContCorr);
  if (cdsContCorr.isEmpty())
    host::MensErro(fmt::format("Conta cobrança {} não encontrada.", account));
  const numbering::BankAccountRow conta = accountRow(cdsContCorr);
  numbering::RemoteNumberingService servico(netHabContRec());
  numbering::Numerador numerador(conta, order.klCarteira, servico, messages());
  seqSize = numerador.seqSize();
  stFormaCad = conta.formaCadastro();
  const std::string s = servico.GetNossoNumero("NOSSONUMERO" + conta.CDREDUCONT);
  if (seqSize == 0) error("ESTRUT_CONFIG");
  stNossNumProposto = numerador.Retorna_NossoNumero(
      "", "", "", host::Right(host::AllTrim(s), static_cast<size_t>(seqSize)), stFormaCad);
  control("medNossNum").setText(stNossNumProposto);
}

void TfrmImprimeBol::cbbModeloRelChange() {
  const bool prePrinted = model() == 0;
  control("grpNossoNumero").setEnabled(prePrinted);
  auto& change = control("ccbGeraNossum");
  change.setEnabled(prePrinted);
  if (!prePrinted) {
    change.setChecked(false);
    control("medNossNum").setReadOnly(true);
    control("medNossNum").setText(stNossNumProposto);
  }
}

void TfrmImprimeBol::ccbGeraNossumClick() {
  auto& edit = control("medNossNum");
  const bool on = control("ccbGeraNossum").checked();
  edit.setReadOnly(!on);
  if (on) {
    edit.setFocus();
  } else {
    edit.setText(stNossNumProposto);
  }
}

void TfrmImprimeBol::ValidaEmissaoBoleto() {
  const auto& order = this->order();
  const std::string& sisDos = order.IDSISDOS;
  auto check = [&](const std::string& templateName, const char* key) {
    const std::string name = fileNameOf(templateName);
    if (!name.empty() && order.BaixaRelatorio) order.BaixaRelatorio(name);
    if (name.empty() || !fs::exists(host::ReportDir() + name)) error(key);
  };
  bool credit = false;
  const auto& ds = order.cdsBolEmitOrd;
  for (size_t r = 1; ds.active() && r <= ds.recordCount(); ++r)
    credit = credit || upper(host::AllTrim(ds.valueAt(r, fld::IDBAIXAUTILR).asString())) == "C";
  if (credit && sisDos == "3") check(kModeloDepId, "MODDEPIDENT_NC");
  switch (model()) {
    case 0:
      check(settingOf(cdsContCorr, fld::DSARQBOLPREI), "MODBOLPRE_NC");
      break;
    case 1:
      check(settingOf(cdsContCorr, fld::DSARQBOLCOMP), "MODBOLCOMP_NC");
      break;
    case 2:
      if (sisDos == "3")
        check(kModeloNFDeb, "MODNFDEB_NC");
      else
        check(kModeloNFA4, "MODNF_A4_NC");
      break;
    default:
      break;
  }
}

void TfrmImprimeBol::sbtPrintClick() {
  Run r(*this, Run::Mode::Print, {});
  const bool test = control("chbTeste").checked();
  r.go();
  if (test) return;  // a test boleto leaves the screen open for the real run
  setModalResult(host::mrOk);
  close();
}

void TfrmImprimeBol::sbtPreviewClick() {
  Run r(*this, Run::Mode::Preview, {});
  const bool test = control("chbTeste").checked();
  r.go();
  if (test) return;
  setModalResult(host::mrOk);
  close();
}

const std::vector<std::string>& TfrmImprimeBol::saveAsItems() {
  static const std::vector<std::string> items{"mnuSalvarTexto", "mnuSalvarCSV",   "mnuSalvarHTML",
                                              "mnuSalvarExcel", "mnuSalvarRTF",   "mnuSalvarWMF",
                                              "mnuSalvarPDF",   "mnuSalvarXHTML", "mnuSalvarGIF",
                                              "mnuSalvarJPEG",  "mnuSalvarBMP",   "mnuSalvarEMF"};
  return items;
}

void TfrmImprimeBol::sbtSalvarComoClick() {
  ValidaEmissaoBoleto();
  control("pmnSalvarComo").setVisible(true);
}

void TfrmImprimeBol::mnuSalvarTextoClick(int tag) {
  if (!report::exportFormat(tag))
    host::MensErro(fmt::format("Formato de exportação desconhecido ({})", tag));
  files_.clear();
  Run r(*this, Run::Mode::Save, {});
  r.format = tag;
  const bool test = control("chbTeste").checked();
  r.go();
  if (test) return;
  setModalResult(host::mrOk);
  close();
}

void TfrmImprimeBol::sbtCancelarClick() {
  setModalResult(host::mrCancel);
  close();
}

void TfrmImprimeBol::Emiteboletos(const std::string& directory) {
  files_.clear();
  Run r(*this, Run::Mode::File, directory);
  r.go();
  setModalResult(host::mrOk);
}

std::string TfrmImprimeBol::SalvarEmissao(const std::string& name, const std::string& templateName,
                                          const std::string& messageKey,
                                          const std::string& directory) {
  Run r(*this, Run::Mode::File, directory);
  return r.SalvarEmissao(name, templateName, messageKey);
}

int CriaImprimeBol(const records::EmissionOrder& order, const std::string& directory, bool reissue,
                   bool emit) {
  auto slot = ScreenSlot<TfrmImprimeBol>::perCall();
  CreatorSteps<TfrmImprimeBol> steps;
  steps.make = [] { return std::make_unique<TfrmImprimeBol>(); };
  steps.prepare = [&](TfrmImprimeBol& f) { f.Abre(order); };
  int fileResult = host::mrNone;
  steps.show = [&](TfrmImprimeBol& f) {
    if (!reissue && !emit) return Show::Modal;
    // The file run shows no screen; its failure is shown as the screen would show it, and
    // the caller learns from the result that the run did not complete.
    if (f.run([&] { f.Emiteboletos(directory); })) fileResult = f.modalResult();
    return Show::NotShown;
  };
  const int shown = runCreator(slot, steps);
  return reissue || emit ? fileResult : shown;
}

void InstalaImprimeBol() {
  creators().CriaImprimeBol = &CriaImprimeBol;
}

}  // namespace rec
