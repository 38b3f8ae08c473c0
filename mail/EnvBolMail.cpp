#include "mail/EnvBolMail.h"

#include <fmt/format.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/Archive.h"
#include "host/Base64.h"
#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/ScopedFlag.h"
#include "host/Secrets.h"
#include "host/TaxId.h"
#include "host/smtp/SmtpClient.h"
#include "host/smtp/SystemMail.h"
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
#include "report/RemoteDataSource.h"
#include "report/Report.h"

namespace rec {

namespace fs = std::filesystem;
namespace fld = records::fld;

namespace {

constexpr const char* kModeloDepId = "MODBOLDEPID.QR2";
constexpr const char* kModeloEspelho = "ModelEsp.qr2";

TfrmEnvBolMail* g_instance = nullptr;
std::function<void(size_t, size_t, const std::string&, bool)> g_progress;

std::string fileNameOf(const std::string& path) {
  const size_t cut = path.find_last_of("/\\");
  return host::AllTrim(cut == std::string::npos ? path : path.substr(cut + 1));
}

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string setting(const host::ClientDataset& ds, const records::Field& f) {
  return ds.active() && !ds.isEmpty() ? host::AllTrim(ds.valueOf(f).asString()) : std::string();
}

void define(host::ClientDataset& ds, const records::Table& t) {
  if (ds.active()) ds.close();
  ds.setFieldDefs(t.fields());
  ds.createDataset();
}

void loadInto(host::ClientDataset& ds, const remote::Variant& v, const records::Table& t) {
  if (v.isPacket()) {
    ds.loadPacket(v.packetJson());
  } else {
    define(ds, t);
  }
}

/// The addresses of a list written with ";" or ",", each trimmed, the empty ones dropped.
std::vector<std::string> addresses(const std::string& list) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : list + ",") {
    if (c == ';' || c == ',') {
      const std::string a = host::AllTrim(cur);
      if (!a.empty()) out.push_back(a);
      cur.clear();
    } else {
      cur += c;
    }
  }
  return out;
}

std::string joined(const std::vector<std::string>& list) {
  std::string out;
  for (const auto& a : list) out += (out.empty() ? "" : ",") + a;
  return out;
}

}  // namespace

// ------------------------------------------------------------------ one sending run

/// What a run holds: its private folder, the numbering and the report component.
struct TfrmEnvBolMail::Run {
  TfrmEnvBolMail& f;
  const records::EmissionOrder& order;
  host::PrivateTempDir dir{"boleto-mail-"};
  numbering::RemoteNumberingService servico{netHabContRec()};
  numbering::BankAccountRow conta;
  numbering::Numerador numerador;
  remote::Connection qrd{rpc::kQRDesign};
  report::RemoteDataSource data;
  report::ReportPrinter printer{data};
  std::string branch, number, barcode, lista;
  // The note in work, for the espelho's parameters and barcode.
  std::string notaFilial, notaLanc, notaChave;
  bool espelho = false;
  int danfeFolders = 0;
  /// What the report service said of each template this run used.
  struct TemplateInfo {
    std::string setting;
    host::DateTime date;
  };
  std::map<std::string, TemplateInfo> templates;

  explicit Run(TfrmEnvBolMail& screen)
      : f(screen),
        order(screen.order()),
        conta([&] {
          auto row = numbering::BankAccountRowOf(screen.cdsContCorr);
          numbering::NormalizaBanco(row);
          return row;
        }()),
        numerador(conta, order.klCarteira, servico, screen.messages(), numbering::Tela::Email) {
    qrd.setCompany(netHabContRec().company());
    data.setCompany(netHabContRec().company());
    numerador.setDataProcessamento(host::DataProc());
    printer.setParameterEvent([this](const std::string& p) { return parameter(p); });
  }

  remote::Connection& conn() { return netHabContRec(); }
  std::string row(const records::Field& field) const {
    return order.cdsBolEmitOrd.valueOf(field).asString();
  }

  host::Value parameter(const std::string& p) {
    if (p == "P_CDFILIAL") return branch;
    if (p == "P_NRLANBOLREC") return number;
    if (p == "P_TESTE") return std::string("N");
    if (p == "NRLISTA") return lista;
    if (p == "FILIAL") return notaFilial;
    if (p == "LANCAMENTO") return notaLanc;
    if (p == "DIRBARCODE") {
      // The note's access key on a note's report, the boleto's barcode otherwise; the image
      // lives in the run's folder and goes with it.
      const std::string folder = dir.path().string() + "/";
      if (espelho)
        return report::saveBarcodeImage(folder, notaChave, host::Now(),
                                        report::BarcodeImage::kCode128);
      return report::saveBarcodeImage(folder, barcode, host::Now());
    }
    return {};
  }

  std::string pdfPath(const std::string& name) const {
    return (dir.path() / (name + ".pdf")).string();
  }

  /// Renders `templateName` to the run's folder as `name`.pdf; `key` names the message of a
  /// missing template.
  std::string SalvarRelatorio(const std::string& name, const std::string& templateName,
                              const std::string& key) {
    if (host::EmptyString(templateName)) f.error("Arq_Inv");
    const std::string file = fileNameOf(templateName);
    auto known = templates.find(file);
    if (known == templates.end()) {
      // A template is fetched and described once a run, not once a boleto: over HTTP each
      // fetch is a session of its own.
      if (order.BaixaRelatorio) order.BaixaRelatorio(file);
      if (!qrd.connected() && !qrd.connect())
        host::MensErro(fmt::format("Sem conexão com o serviço de relatórios: {}", qrd.lastError()));
      std::string asked = file;
      const std::string answer =
          rpc::call(qrd, rpc::RetornaRelatorio{.NMARQUIVO = asked, .Parametro = " "}).asString();
      host::DateTime date;
      const size_t nl = answer.find('\n');
      if (nl != std::string::npos) {
        if (auto d = host::DateTime::parse(host::AllTrim(answer.substr(nl + 1)), "yyyymmddhhnnss"))
          date = *d;
      }
      known =
          templates.emplace(file, TemplateInfo{answer.substr(0, std::min<size_t>(nl, 255)), date})
              .first;
    }
    const host::DateTime date = known->second.date;
    printer.setSetting(known->second.setting);
    const std::string path = host::ReportDir() + file;
    if (!fs::exists(path)) f.error(key, {path});
    host::ScopedFlag working(Cli_rec12010::FWorking);
    report::PdfExportEngine engine(pdfPath(name));
    printer.ExportReport(path, date, engine);
    return engine.fileName();
  }

  /// The boleto's file name: payer, due date, document and key, each cleaned.
  std::string fileName(const std::string& key) const {
    std::string due;
    const host::Value v = order.cdsBolEmitOrd.valueOf(fld::FTR_DTVENBOLREC);
    try {
      if (!v.isNull()) due = v.asDate().format("ddmmyyyy");
    } catch (const std::invalid_argument&) {
      // A due date that does not read as one leaves that part of the name empty.
    }
    std::string document = row(fld::FTR_NRNOTAFISC);
    document = document.substr(0, document.find('/'));
    return CamposValidos(row(fld::NRINSJURCLIE)) + "_" + due + "_" + CamposValidos(document) + "_" +
           key;
  }

  const host::KeyValue* entryOf(const std::string& key, size_t position) const {
    const auto& kl = order.klEmissao;
    int i = kl.IndexOf(key + row(fld::CDNOSNUMREC));
    for (int j = 0; i < 0 && j < kl.Count(); ++j)
      if (kl.Key(j).compare(0, 14, key, 0, 14) == 0) i = j;
    if (i < 0 && position < static_cast<size_t>(kl.Count())) i = static_cast<int>(position);
    return i >= 0 ? &kl.Sum(i) : nullptr;
  }

  std::string entryText(const host::KeyValue& e) const {
    return e.element(0).asString() + " - " + e.element(1).asString() + " - " +
           e.element(2).asString();
  }

  /// The codes the boleto carries, or none: a number once given is what the bank knows.
  std::optional<numbering::CodigosBoleto> storedCodes() {
    const std::string nosso = host::AllTrim(row(fld::CDNOSNUMREC));
    const std::string barras = host::AllTrim(row(fld::CDBARRAREC));
    numbering::CodigosBoleto codes;
    if (!nosso.empty() && barras.size() == 44) {
      codes.armazenado = true;
      codes.nossoNumero = nosso;
      codes.codigoBarras = codes.codigoImagem = barras;
      return codes;
    }
    const numbering::CodigosArmazenados s = servico.CodigosDoBoleto(branch, number);
    if (s.nossoNumero.empty()) return std::nullopt;
    if (!s.codigoBarras.empty()) {
      codes.armazenado = true;
      codes.nossoNumero = s.nossoNumero;
      codes.codigoBarras = codes.codigoImagem = s.codigoBarras;
      return codes;
    }
    auto seq = numerador.SequenciaDoNossoNumero(branch, number, s.nossoNumero);
    if (!seq) f.error("ERR_GERA_NOSNUM");
    auto made = numerador.Gera_CodigodeBarra(branch, number, *seq, false,
                                             numbering::Modelo::Completo1, conta.formaCadastro());
    if (!made) f.error("ERR_GERA_NOSNUM");
    return made;
  }

  /// The boleto's PDF in the run's folder, or nothing when the boleto is refused (with its
  /// message shown).
  std::optional<std::string> boletoPdf(const std::string& key, size_t position) {
    const host::KeyValue* entry = entryOf(key, position);
    const std::string ident = entry ? entryText(*entry) : key;
    if (upper(host::AllTrim(row(fld::IDBAIXAUTILR))) == "C") {
      if (order.IDSISDOS != "3" || !numerador.UsaDepIdentificado(order.CDEMPRESA)) {
        f.showMsg("NImprimeCredConta", {ident});
        return std::nullopt;
      }
      barcode = host::AllTrim(row(fld::CDBARRAREC));
      const std::string id = numerador.GeraDepIdentificado(branch, number, order.CDEMPRESA);
      std::string linha, barras, nosso, b = branch, n = number, model,
                                        code = setting(f.cdsContCorr, fld::CDREDUCONT);
      servico.SetCodBarra({.DSLINHABARREC = linha,
                           .CDBARRAREC = barras,
                           .CDNOSNUMREC = nosso,
                           .CDFILIAL = b,
                           .NRLANBOLREC = n,
                           .CDDEPIDENREC = id,
                           .IDBOLEMITIDO = model,
                           .CDREDUCONT = code});
      return SalvarRelatorio(fileName(key), kModeloDepId, "MSG_DI");
    }
    if (entry) {
      const std::string model = host::AllTrim(entry->element(3).asString());
      if (!model.empty() && model != "2") {
        f.showMsg("NPrint", {ident});
        return std::nullopt;
      }
    }
    std::optional<numbering::CodigosBoleto> codes = storedCodes();
    if (!codes) {
      numerador.Valida_Faixa_Numerica(numbering::Modelo::Completo1, conta.formaCadastro(), 1);
      if (numerador.seqSize() == 0) f.error("ESTRUT_CONFIG");
      codes = numerador.Gera_CodigodeBarra(
          branch, number, servico.GetNossoNumero("NOSSONUMERO" + conta.CDREDUCONT), true,
          numbering::Modelo::Completo1, conta.formaCadastro());
      if (!codes || !codes->armazenado) f.error("ERR_GERA_NOSNUM");
    }
    barcode = codes->codigoImagem;
    return SalvarRelatorio(fileName(key), setting(f.cdsContCorr, fld::DSARQBOLCOMP), "MSG_BOL");
  }

  /// The espelho of the current note of `cdsNotasEmail`.
  std::string GerarEspelho() {
    auto& n = f.cdsNotasEmail;
    std::string company = n.valueOf(fld::CDEMPRESA).asString(),
                state = n.valueOf(fld::CDINSCESTA).asString(),
                city = n.valueOf(fld::CDINSCMUNI).asString(),
                series = n.valueOf(fld::CDSERIE).asString();
    loadInto(f.cdsSerieNF,
             rpc::call(conn(), rpc::getSerieNF{.CDEMPRESA = company,
                                               .CDINSCESTA = state,
                                               .CDINSCMUNI = city,
                                               .CDSERIE = series}),
             records::cdsSerieNF());
    std::string tpl = setting(f.cdsSerieNF, fld::CDRELESPENF);
    if (tpl.empty()) tpl = kModeloEspelho;
    notaFilial = n.valueOf(fld::CDFILIAL).asString();
    notaLanc = n.valueOf(fld::NRLANCTONF).asString();
    notaChave = host::AllTrim(n.valueOf(fld::NRACESSONFE).asString());
    host::ScopedFlag onNote(espelho);
    // Its own name: the boleto's file and the espelho travel side by side in one message.
    return SalvarRelatorio(fileName(branch + number) + "_ESPELHO_" + CamposValidos(notaLanc), tpl,
                           "MSG_ESP");
  }

  /// The DANFEs of the notes of the current group, rendered by the service, extracted into a
  /// folder of their own inside the run's: an archive never writes beside the boletos.
  fs::path GerarDANFEAPI() {
    host::ClientDataset request("cdsListaGerarDANFE");
    define(request, records::cdsListaGerarDANFE());
    auto& n = f.cdsNotasEmail;
    for (n.first(); !n.eof(); n.next()) {
      if (host::AllTrim(n.valueOf(fld::NRACESSONFE).asString()).empty()) continue;
      request.append();
      request.fieldByName(fld::NRACESSONFE).setString(n.valueOf(fld::NRACESSONFE).asString());
      request.fieldByName(fld::CDFILIAL).setString(n.valueOf(fld::CDFILIAL).asString());
      request.fieldByName(fld::NRLANCTONF).setString(n.valueOf(fld::NRLANCTONF).asString());
      request.post();
    }
    host::dialogs().showWait(true);
    struct Hide {
      ~Hide() { host::dialogs().showWait(false); }
    } hide;
    std::string keep = "N";
    const remote::Variant answer = rpc::call(
        conn(), rpc::GetDanfeApi{.cdsListaGerarDANFE = remote::Variant::packet(request.toPacket()),
                                 .keep = keep});
    if (!answer.isArray()) host::MensErro(answer.asString());
    const auto& items = answer.items();
    if (items.empty() || items[0].asString() != "S")
      host::MensErro(items.size() > 1 ? items[1].asString() : "Falha ao gerar o DANFE.");
    host::ClientDataset stream("cdsStringStream");
    stream.loadPacket(items.at(1).packetJson());
    std::string bytes;
    try {
      bytes = host::Decode64(stream.valueAt(1, fld::DSSTRINGSTREAM).asString());
    } catch (const std::invalid_argument& e) {
      host::MensErro(fmt::format("Arquivo de DANFE recebido com defeito: {}", e.what()));
    }
    const fs::path folder = dir.path() / fmt::format("danfe-{}", ++danfeFolders);
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
    try {
      host::extractZip(bytes, folder);
    } catch (const host::ArchiveError& e) {
      host::MensErro(fmt::format("Arquivo de DANFE recusado: {}", e.what()));
    }
    return folder;
  }

  void go() {
    order.AplicaOrdemImpres();
    auto& ds = order.cdsBolEmitOrd;
    auto& cl = f.cdsCriaLista;
    cl.emptyDataset();
    std::vector<std::string> keys;
    for (ds.first(); ds.active() && !ds.eof(); ds.next()) {
      const std::string key = row(fld::CDFILIAL) + row(fld::NRLANBOLREC);
      cl.append();
      cl.fieldByName(fld::CDLISTA).setString(key);
      cl.post();
      keys.push_back(key);
    }
    if (keys.empty()) return;
    const auto created =
        rpc::call(conn(), rpc::CriaLista{.cdsCriaLista = remote::Variant::packet(cl.toPacket()),
                                         .CDFILIAL = host::FiliProc()});
    if (!created.isArray() || created.items().size() < 2 || !created.items()[1].isPacket())
      host::MensErro("Resposta inesperada do serviço em CriaLista.");
    f.cdsCriaListaAux.loadPacket(created.items()[1].packetJson());
    lista = f.cdsCriaListaAux.isEmpty() ? std::string()
                                        : f.cdsCriaListaAux.valueAt(1, fld::NRLISTA).asString();
    try {
      size_t sent = 0;
      for (size_t i = 0; i < keys.size(); ++i) {
        const std::string& key = keys[i];
        if (!ds.locate(records::kBoletoKeyFields, {key.substr(0, 4), key.substr(4)})) continue;
        branch = key.substr(0, 4);
        number = key.substr(4);
        const std::optional<std::string> pdf = boletoPdf(key, i);
        if (!pdf) {
          if (g_progress) g_progress(sent, keys.size(), key, false);
          continue;
        }
        const std::string customer = row(fld::NRINSJURCLIE), emitter = row(fld::FTR_CDFILIEMIT);
        if (!f.cdsEnvBolMail.locate("NRINSJURCLIE;CDFILIAL", {customer, emitter},
                                    {.caseInsensitive = true}))
          host::MensErro(
              fmt::format("Destinatário do boleto {}/{} não encontrado.", branch, number));
        const std::string name = f.cdsEnvBolMail.valueOf(fld::NMRAZSOCCLIE).asString();
        const std::string email = f.cdsEnvBolMail.valueOf(fld::DSEMAILCLIE).asString();
        const std::string settingsBranch = f.cdsEnvBolMail.valueOf(fld::CDFILIAL).asString();
        const std::string copies = row(fld::DSEMAILCLIECOP);
        {
          // The boleto's files go whether the send worked or not.
          struct Drop {
            std::string path;
            ~Drop() {
              std::error_code ec;
              fs::remove(path, ec);
            }
          } drop{*pdf};
          f.EnviaEmail(name, email, *pdf, copies, branch, number, settingsBranch);
        }
        rpc::call(conn(), rpc::AltBoletos{.count = 1, .NRLISTA = "", .CDLISTA = key});
        f.sent_.push_back(key);
        if (f.enviado_) f.enviado_(key);
        if (ds.locate(records::kBoletoKeyFields, {branch, number})) ds.deleteRecord();
        ++sent;
        if (g_progress) g_progress(sent, keys.size(), key, true);
      }
    } catch (...) {
      apagaLista(false);
      throw;
    }
    apagaLista(true);
  }

  void apagaLista(bool report) {
    if (lista.empty()) return;
    try {
      std::string l = lista;
      rpc::call(conn(), rpc::ApagaLista{.NRLISTA = l});
    } catch (...) {
      // After a failure the operator must hear of that failure, not of the clean-up.
      if (report) throw;
    }
  }
};

// ------------------------------------------------------------------ the screen

TfrmEnvBolMail::TfrmEnvBolMail()
    : host::ScreenModel("TfrmEnvBolMail", "REC12010", "Envio de boleto por e-mail") {
  messages() = host::TMessages{
      {"Confirma", "Confirma operação?"},
      {"Email_N_Cad", "Não há e-mail de destinatário cadastrado."},
      {"Senha_N_Cad", "Não há senha cadastrada para o e-mail da filial %s:"},
      {"SMTP_N_Cad", "Servidor de mensagens enviadas(SMTP) não cadastrado para a filial %s:"},
      {"Erro_Envio", "Erro ao enviar e-mail para %s:\r\n"},
      {"1", "Mensagem não enviada. O usuario cancelou o processo."},
      {"2", "Mensagem não enviada. Ocorreu um ou mais erros não especificos."},
      {"3", "Mensagem não enviada. Não tem usuario padrão cadastrado no gerenciador de e-mail."},
      {"5", "Mensagem não enviada. Memória insuficiente para processar."},
      {"9", "Mensagem não enviada. Muitos arquivos anexados."},
      {"10", "Mensagem não enviada. Muitos destinatários cadastrados."},
      {"11", "Mensagem não enviada. Arquivo anexado não encontrado."},
      {"12", "Mensagem não enviada. Anexo especifico não pode ser aberto."},
      {"14", "Mensagem não enviada. Destinatário não aparece na lista de endereços."},
      {"15", "Mensagem não enviada. O tipo de destinatário não é MAPI_TO, MAPI_CC or MAPI_BCC."},
      {"18", "Mensagem não enviada. O texto na messagem é muito grande para ser enviado."},
      {"21",
       "A recipient matched more than one of the recipient descriptor structures and MAPI_DIALOG "
       "was not set. No message was sent."},
      {"assunto", "Envio de Boleto"},
      {"mensagem",
       "Senhores, \r\nConforme solicitado, segue boleto bancário em anexo, qualquer dúvida entrar "
       "em contato.\r\n\r\nContas a receber\r\n\r\n%s\r\n%s"},
      {"Email_Fil_N_Cad", "Não há e-mail cadastrado para a filial: %s"},
      {"MSG_DI", "Modelo de Boleto Depósito Identificado não encontrado %s:"},
      {"MODCHQ_NC", "Modelo de boleto completo não localizado."},
      {"NPrint",
       "Operação bloqueada! Boleto selecionado foi emitido para outro modelo de impressão : %s"},
      {"ESTRUT_CONFIG",
       "Operação bloqueada! Descrição do nosso número da conta cobrança não está parametrizada."},
      {"ERR_GERA_NOSNUM",
       "Ocorreu um erro na geração do nosso número. Verifique as parametrizações de descrição "
       "do nosso número e código do banco na câmera de compensação."},
      {"Arq_Inv", "Arquivo contendo o modelo de boleto não foi encontrado."},
      {"NOSSO<SEQ", "Operação bloqueada! Nosso número fora da faixa parametrizada."},
      {"NImprimeCredConta",
       "Boleto com tipo de baixa classificado como \"Crédito em Conta\" não pode ser enviado: %s"},
      {"MSG_BOL", "Modelo de boleto completo não localizado %s:"},
      {"MSG_DANFE", "Modelo  de Danfe Não encontrado %s: "},
      {"MSG_ESP", "Modelo de Espelho não cadastrado %s:"},
  };
  define(cdsEnvBolMail, records::cdsEnvBolMail());
  define(cdsMensagem, records::cdsMensagem());
  define(cdsCriaLista, records::cdsCriaLista());
  define(cdsEmailDanfe, records::cdsEmailDanfe());
  define(cdsNotasEmail, records::cdsNotasEmail());
  auto& grid = addGrid("dbgEnvBolMail");
  grid.setDataset(&cdsEnvBolMail);
  grid.setRowSelect(true);
  grid.addColumn({fld::NRINSJURCLIE.name, "CPF/CNPJ", 140, true});
  grid.addColumn({fld::NMRAZSOCCLIE.name, "Cliente", 260, true});
  grid.addColumn({fld::DSEMAILCLIE.name, "E-mail", 320, true});
  grid.setDisplayRule(fld::NRINSJURCLIE.name, [](const host::Value& v) {
    // The registration through the mask of its kind; the kind shows in its length.
    const std::string digits = host::AllTrim(v.isNull() ? std::string() : v.asString());
    const char* kind = digits.size() == 14 ? "J" : digits.size() == 11 ? "F" : "";
    const std::string mask = host::PictPess(kind);
    return mask.empty() ? digits : host::FormatMaskText(mask, digits);
  });
  grid.onKeyDown = [](host::GridKey& key, host::ShiftState shift) {
    // Ctrl+Delete would remove a recipient: the list is the register's choice.
    if (key == host::GridKey::Delete && shift.ctrl) key = host::GridKey::None;
  };
  cdsEnvBolMail.events().afterScroll = [this](host::ClientDataset& ds) {
    if (ds.state() == host::DatasetState::Browse && !ds.isEmpty()) Destinatario(ds.recNo());
  };
  auto& subject = addControl("edtAssunto", host::ControlKind::Edit);
  subject.onExit = [this] { AtualizaCDSEmail(); };
  auto& text = addControl("memConteudo", host::ControlKind::Memo);
  text.onExit = [this] { AtualizaCDSEmail(); };
  auto& smtp = addControl("chbSMTP", host::ControlKind::Check);
  smtp.setCaption("Utiliza servidor SMTP");
  smtp.setChecked(true);
  // Without a mail client on this machine the switch stays on: SMTP is the only way.
  smtp.setEnabled(host::smtp::systemMailClient()->available());
  addControl("sbtConfirma", host::ControlKind::Button).onClick = [this] {
    run([this] { sbtConfirmaClick(); });
  };
  // Ctrl+Enter confirms from wherever the operator is typing.
  auto& confirm = addControl("actConfirmar", host::ControlKind::MenuItem);
  confirm.setCaption("Confirmar");
  confirm.onClick = [this] { run([this] { sbtConfirmaClick(); }); };
  addControl("sbtCancelar", host::ControlKind::Button).onClick = [this] {
    setModalResult(host::mrCancel);
    close();
  };
  g_instance = this;
}

TfrmEnvBolMail::~TfrmEnvBolMail() {
  if (g_instance == this) g_instance = nullptr;
}

TfrmEnvBolMail* frmEnvBolMail() {
  return g_instance;
}

void setMailProgress(std::function<void(size_t, size_t, const std::string&, bool)> f) {
  g_progress = std::move(f);
}

const records::EmissionOrder& TfrmEnvBolMail::order() const {
  BOLETO_CHECK(order_.has_value(), "the e-mail screen was opened without an order");
  return *order_;
}

std::string TfrmEnvBolMail::arquivoMensagem(const std::string& branch) const {
  return tempDir_ + "EnvBolMailConfimacao" + branch + ".cds";
}

void TfrmEnvBolMail::loadEndeFili(const std::string& branch) {
  std::string b = branch;
  loadInto(cdsEndeFili, rpc::call(netHabContRec(), rpc::GetEndeFili{.CDFILIAL = b}),
           records::cdsEndeFili());
}

void TfrmEnvBolMail::carregaMensagem(const std::string& branch) {
  const std::string file = arquivoMensagem(branch);
  bool loaded = false;
  if (fs::exists(file)) {
    try {
      std::ifstream in(file, std::ios::binary);
      cdsMensagem.loadPacket(nlohmann::json::parse(in));
      records::cdsMensagem().requireIn(cdsMensagem);
      loaded = !cdsMensagem.isEmpty();
    } catch (const std::exception&) {
      // A damaged file is replaced by the default message below, not shown half read.
      define(cdsMensagem, records::cdsMensagem());
    }
  }
  if (!loaded) {
    loadEndeFili(branch);
    define(cdsMensagem, records::cdsMensagem());
    cdsMensagem.append();
    cdsMensagem.fieldByName(fld::Assunto).setString(messages().Msg("assunto"));
    cdsMensagem.fieldByName(fld::Conteudo)
        .setString(messages().Msg("mensagem", {setting(cdsEndeFili, fld::NMFILIAL),
                                               setting(cdsEndeFili, fld::NRTELEFILI)}));
    cdsMensagem.post();
    salvaMensagem(branch);
  }
  branchShown_ = branch;
  showMensagem();
}

void TfrmEnvBolMail::salvaMensagem(const std::string& branch) {
  const std::string file = arquivoMensagem(branch);
  const std::string tmp = file + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << cdsMensagem.toPacket().dump();
    if (!out) host::MensErro(fmt::format("Não foi possível gravar o arquivo {}", file));
  }
  std::error_code ec;
  fs::rename(tmp, file, ec);
  if (ec)
    host::MensErro(fmt::format("Não foi possível gravar o arquivo {}: {}", file, ec.message()));
}

void TfrmEnvBolMail::showMensagem() {
  control("edtAssunto").setText(cdsMensagem.valueOf(fld::Assunto).asString());
  control("memConteudo").setText(cdsMensagem.valueOf(fld::Conteudo).asString());
}

void TfrmEnvBolMail::AtualizaCDSEmail() {
  if (branchShown_.empty() || cdsMensagem.isEmpty()) return;
  const std::string subject = control("edtAssunto").text();
  const std::string text = control("memConteudo").text();
  if (subject == cdsMensagem.valueOf(fld::Assunto).asString() &&
      text == cdsMensagem.valueOf(fld::Conteudo).asString())
    return;
  cdsMensagem.edit();
  cdsMensagem.fieldByName(fld::Assunto).setString(subject);
  cdsMensagem.fieldByName(fld::Conteudo).setString(text);
  cdsMensagem.post();
  salvaMensagem(branchShown_);
  showMensagem();
}

void TfrmEnvBolMail::Destinatario(size_t row) {
  // What was typed for the branch shown is kept before another branch's message shows.
  AtualizaCDSEmail();
  const std::string branch = host::AllTrim(cdsEnvBolMail.valueAt(row, fld::CDFILIAL).asString());
  if (branch != branchShown_) carregaMensagem(branch);
}

void TfrmEnvBolMail::Abre(const records::EmissionOrder& order,
                          std::function<void(const std::string&)> enviado) {
  if (order.cdsBolEmitOrd.fieldCount() > 0) records::cdsBolEmitOrd().requireIn(order.cdsBolEmitOrd);
  if (order.klContas.Count() == 0) host::MensErro("Nenhuma conta cobrança nos boletos a enviar.");
  order_.emplace(order);
  enviado_ = std::move(enviado);
  ensureConnected();
  std::string code = order.klContas.Key(0);
  fetchBankAccount(netHabContRec(), code, cdsContCorr);
  if (cdsContCorr.isEmpty()) host::MensErro(fmt::format("Conta cobrança {} não encontrada.", code));
  if (setting(cdsContCorr, fld::CDBANCOCONV) == "237") {
    cdsContCorr.edit();
    cdsContCorr.fieldByName(fld::CDBANCCNAB).setString("237");
    cdsContCorr.post();
  }
  numbering::RemoteNumberingService servico(netHabContRec());
  servico.GetNossoNumero("NOSSONUMERO" + setting(cdsContCorr, fld::CDREDUCONT));

  tempDir_ = host::DirWinTemp();
  if (!tempDir_.empty() && tempDir_.back() != '/' && tempDir_.back() != '\\') tempDir_ += '/';
  carregaMensagem(host::FiliProc());

  host::DetachedEvents quiet(cdsEnvBolMail, &host::DatasetEvents::afterScroll);
  order.AplicaOrdemImpres();
  auto& ds = order.cdsBolEmitOrd;
  for (ds.first(); ds.active() && !ds.eof(); ds.next()) {
    std::string branch = ds.valueOf(fld::CDFILIAL).asString();
    std::string number = ds.valueOf(fld::NRLANBOLREC).asString();
    const auto answer =
        rpc::call(netHabContRec(), rpc::getEmailDanfe{.CDFILIAL = branch, .NRLANBOLREC = number});
    loadInto(cdsParaEmail,
             answer.isArray() && !answer.items().empty() ? answer.items()[0] : remote::Variant(),
             records::cdsEmailDanfe());
    const std::string customer = ds.valueOf(fld::NRINSJURCLIE).asString();
    const std::string emitter = ds.valueOf(fld::FTR_CDFILIEMIT).asString();
    if (cdsEnvBolMail.locate("NRINSJURCLIE;CDFILIAL", {customer, emitter},
                             {.caseInsensitive = true}))
      continue;
    cdsEnvBolMail.append();
    cdsEnvBolMail.fieldByName(fld::NMRAZSOCCLIE)
        .setString(ds.valueOf(fld::FTR_NMRAZSOCCLIE).asString());
    cdsEnvBolMail.fieldByName(fld::NRINSJURCLIE).setString(customer);
    cdsEnvBolMail.fieldByName(fld::FTR_DTVENBOLREC).setValue(ds.valueOf(fld::FTR_DTVENBOLREC));
    cdsEnvBolMail.fieldByName(fld::IDTPIJURCLIE)
        .setString(ds.valueOf(fld::IDTPIJURCLIE).asString());
    cdsEnvBolMail.fieldByName(fld::CDFILIAL).setString(emitter);
    cdsEnvBolMail.fieldByName(fld::DSEMAILCLIE)
        .setString(!cdsParaEmail.isEmpty() ? cdsParaEmail.valueOf(fld::DSEMAILDANFEBOL).asString()
                                           : ds.valueOf(fld::DSEMAILCLIE).asString());
    cdsEnvBolMail.post();
  }
  if (!cdsEnvBolMail.isEmpty()) {
    cdsEnvBolMail.first();
    Destinatario(1);
  }
}

void TfrmEnvBolMail::sbtConfirmaClick() {
  AtualizaCDSEmail();
  GerarBoleto();
  setModalResult(host::mrOk);
  close();
}

void TfrmEnvBolMail::GerarBoleto() {
  sent_.clear();
  // The run blocks the screen for as long as the server takes: the operator sees it working.
  host::WaitAnimation wait;
  Run r(*this);
  run_ = &r;
  struct Clear {
    Run*& p;
    ~Clear() { p = nullptr; }
  } clear{run_};
  r.go();
}

void TfrmEnvBolMail::EnviaEmail(const std::string& nome, const std::string& email,
                                const std::string& anexo, const std::string& copias,
                                const std::string& cdFilial, const std::string& nrLanBolRec,
                                const std::string& filialConfig) {
  const std::string subject = control("edtAssunto").text();
  const std::string text = control("memConteudo").text();
  if (!control("chbSMTP").checked()) {
    auto client = host::smtp::systemMailClient();
    const int c = client->SendMail(subject, " \r\n" + text, nome + "<" + email + ">", anexo);
    if (c != 0)
      host::MensErro(messages().Msg("Erro_Envio", {nome}) + "\"" +
                     messages().Msg(std::to_string(c)) + "\"");
    return;
  }

  loadEndeFili(filialConfig);
  std::string settingsBranch = filialConfig;
  if (setting(cdsEndeFili, fld::DSLOGINSMTP).empty()) {
    settingsBranch = host::FiliProc();
    loadEndeFili(settingsBranch);
  }
  const std::string sender = setting(cdsEndeFili, fld::DSEMAILFILI);
  const std::string sealed = setting(cdsEndeFili, fld::CDSENHEMAILF);
  const std::string server = setting(cdsEndeFili, fld::DSSMTPEMAILF);
  if (sender.empty()) error("Email_Fil_N_Cad", {settingsBranch});
  if (sealed.empty()) error("Senha_N_Cad", {settingsBranch});
  if (server.empty()) error("SMTP_N_Cad", {settingsBranch});

  host::smtp::ServerSettings s;
  const size_t colon = server.find(':');
  s.host = host::AllTrim(server.substr(0, colon));
  if (colon != std::string::npos) {
    const std::string port = host::AllTrim(server.substr(colon + 1));
    if (port.empty() || port.size() > 5 || !host::IsDigits(port) || std::stoi(port) == 0 ||
        std::stoi(port) > 65535)
      host::MensErro(
          fmt::format("Porta inválida no servidor SMTP da filial {}: {}", settingsBranch, server));
    s.port = std::stoi(port);
  }
  s.timeout = std::chrono::milliseconds(30000);
  s.user = setting(cdsEndeFili, fld::DSLOGINSMTP);
  try {
    s.password = host::Uncripto(sealed, host::kMailPasswordSecret);
  } catch (const host::SecretError& e) {
    host::MensErro(fmt::format("A senha do e-mail da filial {} não pôde ser aberta: {}",
                               settingsBranch, e.what()));
  }
  if (setting(cdsEndeFili, fld::IDUTTLSEMAIL) == "S")
    s.security = host::smtp::Security::StartTls;
  else if (setting(cdsEndeFili, fld::IDUTSSLEMAIL) == "S")
    s.security = host::smtp::Security::Ssl;
  s.caFile = caFile_;

  std::string b = cdFilial, n = nrLanBolRec;
  const auto answer =
      rpc::call(netHabContRec(), rpc::getEmailDanfe{.CDFILIAL = b, .NRLANBOLREC = n});
  const bool pair = answer.isArray() && answer.items().size() >= 2;
  loadInto(cdsEmailDanfe, pair ? answer.items()[0] : remote::Variant(), records::cdsEmailDanfe());
  loadInto(cdsNotasEmail, pair ? answer.items()[1] : remote::Variant(), records::cdsNotasEmail());

  auto message = [&](const std::string& to) {
    host::smtp::MailMessage m;
    m.from = {"", sender};
    const auto list = addresses(to);
    // A name goes with one mailbox only; several addresses are one entry without a name.
    m.to.push_back(list.size() == 1 ? host::smtp::Mailbox{nome, list[0]}
                                    : host::smtp::Mailbox{"", joined(list)});
    if (!host::AllTrim(copias).empty()) m.to.push_back({"", joined(addresses(copias))});
    m.subject = subject;
    m.text = text;
    m.attachFile(anexo);
    return m;
  };
  auto envelope = [&](const std::string& to) {
    host::smtp::Envelope e;
    e.sender = sender;
    e.recipients = addresses(to + ";" + copias);
    return e;
  };
  auto deliver = [&](const host::smtp::Envelope& e, const host::smtp::MailMessage& m) {
    try {
      host::smtp::send(s, e, m);
    } catch (const host::smtp::SmtpError& err) {
      throw TKorvaneError(err.what());
    } catch (const std::invalid_argument& err) {
      // A header text with a line break, or an address that is none: refused, never sent.
      host::MensErro(
          fmt::format("E-mail do boleto {}/{} recusado: {}", cdFilial, nrLanBolRec, err.what()));
    }
  };

  if (cdsEmailDanfe.isEmpty()) {
    if (addresses(email).empty()) error("Email_N_Cad");
    deliver(envelope(email), message(email));
    return;
  }
  for (cdsEmailDanfe.first(); !cdsEmailDanfe.eof(); cdsEmailDanfe.next()) {
    const std::string to = cdsEmailDanfe.valueOf(fld::DSEMAILDANFEBOL).asString();
    if (addresses(to).empty()) error("Email_N_Cad");
    host::smtp::MailMessage m = message(to);
    const std::string emitter = cdsEmailDanfe.valueOf(fld::CDFILIEMIT).asString();
    struct Group {
      host::ClientDataset& ds;
      Group(host::ClientDataset& d, const std::string& filter) : ds(d) {
        ds.setFilter(filter);
        ds.setFiltered(true);
      }
      ~Group() { ds.setFiltered(false); }
    } group(cdsNotasEmail, "(CDFILIEMIT = '" + emitter + "')");
    cdsNotasEmail.first();
    std::optional<fs::path> danfes;
    if (!cdsNotasEmail.eof() && cdsNotasEmail.valueOf(fld::IDNFDEBITO).asString() != "S" &&
        !host::AllTrim(cdsNotasEmail.valueOf(fld::NRACESSONFE).asString()).empty())
      danfes = run_->GerarDANFEAPI();
    std::string last = to;
    for (cdsNotasEmail.first(); !cdsNotasEmail.eof(); cdsNotasEmail.next()) {
      const std::string key = host::AllTrim(cdsNotasEmail.valueOf(fld::NRACESSONFE).asString());
      if (cdsNotasEmail.valueOf(fld::IDNFDEBITO).asString() == "S") {
        const std::string esp = run_->GerarEspelho();
        m.attachFile(esp);
        std::error_code ec;
        fs::remove(esp, ec);
      } else if (!key.empty() && danfes) {
        const fs::path file = *danfes / (key + "-nfe.pdf");
        m.attachFile(file);
        std::error_code ec;
        fs::remove(file, ec);
      }
      last = cdsNotasEmail.valueOf(fld::DSEMAILDANFEBOL).asString();
    }
    deliver(envelope(last), m);
  }
}

int CriaEnvBolMail(const records::EmissionOrder& order,
                   std::function<void(const std::string& key)> enviado) {
  auto slot = ScreenSlot<TfrmEnvBolMail>::perCall();
  CreatorSteps<TfrmEnvBolMail> steps;
  steps.make = [] { return std::make_unique<TfrmEnvBolMail>(); };
  steps.prepare = [&](TfrmEnvBolMail& f) { f.Abre(order, enviado); };
  steps.show = [](TfrmEnvBolMail&) { return Show::Modal; };
  return runCreator(slot, steps);
}

void InstalaEnvBolMail() {
  creators().CriaEnvBolMail = &CriaEnvBolMail;
}

}  // namespace rec
