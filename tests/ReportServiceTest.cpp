// The report engine over the real application service: templates stored on the service and
// refreshed into the report directory, the datasets the templates read, and a complete
// boleto numbered and rendered to PDF, in process and over HTTP.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "host/ClientDataset.h"
#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "host/KeyList.h"
#include "numbering/Numerador.h"
#include "numbering/RemoteNumberingService.h"
#include "remote/Connection.h"
#include "remote/HttpServer.h"
#include "remote/Transports.h"
#include "report/RemoteDataSource.h"
#include "report/Report.h"
#include "report/TemplateDownload.h"
#include "service/Relatorios.h"
#include "service/Seed.h"
#include "service/Service.h"

namespace {

namespace fs = std::filesystem;

std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string shipped(const std::string& name) {
  for (const auto& t : service::shippedTemplates())
    if (name == t.name) return t.text;
  return {};
}

/// A boleto as the tests check it on paper.
struct Numbered {
  std::string branch, number, nossoNumero, line, barcode;
};

class ReportService : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() /
           ("boleto-report-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(dir_ / "rel");
    svc_ = service::openService((dir_ / "boleto.db").string(), clock_);
    service::SeedOptions o;
    o.password = "senha-demo";
    o.today = host::DateTime::fromYmd(2026, 12, 8);
    service::seed(*svc_->db, o);
    inProcess_ = std::make_shared<remote::InProcessTransportFactory>(svc_->dispatcher, "demo");
    useContext(0);
  }
  void TearDown() override {
    if (server_) {
      server_->stop();
      thread_.join();
    }
    host_.reset();
    svc_.reset();
    fs::remove_all(dir_);
  }

  void useContext(int port) {
    host::ContextSettings s;
    s.company = "04";
    s.operatorCode = "demo";
    s.reportDir = (dir_ / "rel").string() + "/";
    s.webUrl = "127.0.0.1";
    s.webPort = port;
    host_.emplace(
        host::Host{.context = std::make_shared<host::ConfiguredContext>(s), .clock = clock_});
  }

  int startHttp() {
    server_ = std::make_unique<remote::HttpServer>(svc_->dispatcher, svc_->auth);
    const int port = server_->bind("127.0.0.1", 0);
    thread_ = std::thread([this] { server_->serve(); });
    useContext(port);
    return port;
  }

  std::unique_ptr<remote::Connection> connect(const char* object) {
    auto c = std::make_unique<remote::Connection>(object, inProcess_);
    EXPECT_TRUE(c->connect()) << c->lastError();
    return c;
  }
  remote::Variant qrd(const std::string& method, const std::vector<remote::Arg>& args) {
    return remote::CheckResultServ(connect("Qrd.rdmQRDesign")->call(method, args));
  }

  /// Numbers the first pending boleto of account 001 (Bradesco) as the emission does, and
  /// stores its codes on the service.
  Numbered numberPendingBoleto() {
    auto c = connect("Rec12000.rdmHabContRec");
    std::string code = "001";
    host::ClientDataset acc;
    acc.loadPacket(
        remote::CheckResultServ(c->call("GetCont_Corr", {remote::Arg::ref(code)})).packetJson());
    numbering::BankAccountRow row = numbering::BankAccountRowOf(acc);
    numbering::NormalizaBanco(row);

    Numbered b;
    std::string due;
    double value = 0;
    svc_->db->session() << "SELECT CDFILIAL, NRLANBOLREC, DTVENBOLREC, VRFINALBREC FROM "
                           "BOLRECEBER WHERE CDEMPRESA = '04' AND CDREDUCONT = '001' AND "
                           "IDSTATBREC = 'A' AND CDNOSNUMREC IS NULL ORDER BY CDFILIAL, "
                           "NRLANBOLREC LIMIT 1",
        soci::into(b.branch), soci::into(b.number), soci::into(due), soci::into(value);
    // As the register fills it: carteira, account, due date and net value as texts, ...
    host::TKeyList klCarteira;
    klCarteira.Add(b.branch + b.number,
                   std::vector<host::Value>{"09", row.CDCONTCORR,
                                            host::DateTime::parseIso(due)->format("dd/mm/yyyy"),
                                            host::FormatBr(value), "", "A", "01", "001"});
    numbering::RemoteNumberingService numbers(*c);
    numbering::Numerador numerador(row, klCarteira, numbers);
    const std::string seq =
        remote::CheckResultServ(
            c->call("prxNossoNumero", {"001", std::to_string(numerador.seqSize())}))
            .asString();
    auto codes =
        numerador.Gera_CodigodeBarra(b.branch, b.number, seq, true, numbering::Modelo::Completo1);
    EXPECT_TRUE(codes && codes->armazenado);
    svc_->db->session() << "SELECT CDNOSNUMREC, DSLINHABARREC, CDBARRAREC FROM BOLRECEBER "
                           "WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(b.branch), soci::use(b.number), soci::into(b.nossoNumero), soci::into(b.line),
        soci::into(b.barcode);
    return b;
  }

  /// Refreshes the template into the report directory from the service, as the register's
  /// BaixaRelatorio does, and exports it to PDF over `data` with the boleto's key.
  std::string renderToPdf(report::ReportDataSource& data, const std::string& templateName,
                          const std::string& branch, const std::string& number,
                          std::shared_ptr<remote::TransportFactory> factory) {
    remote::Connection qrd("Qrd.rdmQRDesign", factory);
    EXPECT_TRUE(qrd.connect()) << qrd.lastError();
    const auto dados = remote::CheckResultServ(qrd.call("GetDadosRel", {templateName})).items();
    const fs::path local = dir_ / "rel" / templateName;
    std::string why;
    EXPECT_TRUE(report::GetAtuGerFos(local.string(), dados.at(2).asString(), factory, &why)) << why;
    std::string name = templateName;
    const std::string answer =
        remote::CheckResultServ(qrd.call("RetornaRelatorio", {remote::Arg::ref(name), " "}))
            .asString();
    const auto nl = answer.find('\n');
    EXPECT_NE(nl, std::string::npos) << answer;
    const auto date = host::DateTime::parse(answer.substr(nl + 1), "yyyymmddhhnnss");
    EXPECT_TRUE(date.has_value()) << answer;

    report::ReportPrinter printer(data);
    printer.setSetting(answer.substr(0, nl));
    printer.setParameterEvent([&](const std::string& p) -> host::Value {
      if (p == "P_CDFILIAL") return branch;
      if (p == "P_NRLANBOLREC") return number;
      if (p == "P_TESTE") return std::string("N");
      if (p == "P_VIA") return std::string("1º VIA - CLIENTE");
      return {};
    });
    const fs::path pdf = dir_ / (branch + number + ".pdf");
    report::PdfExportEngine engine(pdf.string());
    printer.ExportReport(local.string(), date.value_or(host::DateTime()), engine);
    EXPECT_FALSE(data.connected()) << "the data connection is closed after the output";
    return run("pdftotext -layout " + pdf.string() + " -");
  }

  fs::path dir_;
  std::shared_ptr<service::Service> svc_;
  std::shared_ptr<remote::TransportFactory> inProcess_;
  std::shared_ptr<host::FixedClock> clock_ =
      std::make_shared<host::FixedClock>(host::DateTime::fromYmdHms(2026, 12, 8, 10, 0, 0));
  std::optional<host::HostScope> host_;
  std::unique_ptr<remote::HttpServer> server_;
  std::thread thread_;
};

TEST_F(ReportService, CompleteBoletoOfASeededBoletoPrintsWhatTheServiceStored) {
  const Numbered b = numberPendingBoleto();
  ASSERT_EQ(b.line.size(), 54u) << b.line;
  ASSERT_EQ(b.barcode.size(), 44u);
  report::RemoteDataSource data(inProcess_);
  const std::string text = renderToPdf(data, "MODBOLCOMP.QR2", b.branch, b.number, inProcess_);

  EXPECT_EQ(b.line.substr(b.line.size() - 10), "0000152040") << "the typed line carries the value";
  EXPECT_NE(text.find(b.line), std::string::npos) << "typed line " << b.line << "\n" << text;
  EXPECT_NE(text.find(b.nossoNumero), std::string::npos) << b.nossoNumero;
  EXPECT_NE(text.find("1.520,40"), std::string::npos) << "the boleto's value";
  EXPECT_NE(text.find("Alfa Distribuidora de Alimentos Ltda"), std::string::npos) << "the payer";
  EXPECT_NE(text.find("11.222.333/0001-81"), std::string::npos) << "the payer's CNPJ";
  EXPECT_NE(text.find("237-2"), std::string::npos) << "the bank with its digit";
  EXPECT_NE(text.find("Comercial Exemplo Ltda"), std::string::npos) << "the beneficiary";
  EXPECT_EQ(text.find("BOLETO DE TESTE"), std::string::npos);

  // The bars drawn carry the barcode the service stored.
  const fs::path pdf = dir_ / (b.branch + b.number + ".pdf");
  run("pdftoppm -r 300 -f 1 -l 1 -png " + pdf.string() + " " + (dir_ / "page").string());
  std::string decoded;
  for (const auto& e : fs::directory_iterator(dir_))
    if (e.path().extension() == ".png") decoded += run("zbarimg --raw -q " + e.path().string());
  EXPECT_NE(decoded.find(b.barcode), std::string::npos) << decoded;
}

TEST_F(ReportService, TemplateAnswersDropThePathIgnoreCaseAndRefuseUnknownNames) {
  std::string name = "C:\\Sistema\\Relatorios\\modbolcomp.qr2";
  const std::string answer =
      remote::CheckResultServ(
          connect("Qrd.rdmQRDesign")->call("RetornaRelatorio", {remote::Arg::ref(name), " "}))
          .asString();
  EXPECT_EQ(name, "MODBOLCOMP.QR2") << "the name comes back as stored";
  ASSERT_EQ(std::count(answer.begin(), answer.end(), '\n'), 1) << answer;
  EXPECT_EQ(answer.substr(0, answer.find('\n')), "Qrd.rdmQRDesign/MODBOLCOMP.QR2");
  const std::string stamp = answer.substr(answer.find('\n') + 1);
  ASSERT_TRUE(host::DateTime::parse(stamp, "yyyymmddhhnnss").has_value()) << stamp;

  const auto dados = qrd("GetDadosRel", {"/opt/rel/MODBOLCOMP.QR2"}).items();
  ASSERT_EQ(dados.size(), 3u);
  EXPECT_EQ(dados[0].kind(), remote::Variant::Kind::Date);
  EXPECT_EQ(dados[0].value().asDate().format("yyyymmddhhnnss"), stamp);
  EXPECT_EQ(dados[1].asString(), "00000001") << "the version the shipped file carries";
  EXPECT_EQ(dados[1].asString(), service::templateVersion(shipped("MODBOLCOMP.QR2")));

  const auto none = qrd("GetDadosRel", {"NAOEXISTE.QR2"}).items();
  ASSERT_EQ(none.size(), 3u);
  EXPECT_EQ(none[0].asInteger(), 0) << "no server copy: date 0";
  EXPECT_EQ(none[2].asString(), "");

  std::string unknown = "NAOEXISTE.QR2";
  try {
    qrd("RetornaRelatorio", {remote::Arg::ref(unknown), " "});
    FAIL() << "an unknown template is refused";
  } catch (const host::ServiceError& e) {
    EXPECT_EQ(e.key(), "RELATORIO_NC");
    EXPECT_EQ(unknown, "NAOEXISTE.QR2") << "a refused call leaves the in-out argument alone";
  }
  EXPECT_THROW(qrd("BaixaModelo", {"NAOEXISTE.QR2"}), host::ServiceError);
}

TEST_F(ReportService, DownloadWritesTheWholeTemplateOrLeavesThePreviousFile) {
  const fs::path local = dir_ / "rel" / "MODBOLNFDEB.QR2";
  std::string why;
  ASSERT_TRUE(report::GetAtuGerFos(local.string(), "MODBOLNFDEB.QR2", inProcess_, &why)) << why;
  EXPECT_EQ(readFile(local), shipped("MODBOLNFDEB.QR2"));
  EXPECT_EQ(service::templateVersion(readFile(local)), "00000001")
      << "the local copy carries the version the service reports, so it is not fetched again";

  // A template the service does not have: false, the previous file untouched, nothing else.
  std::ofstream(local, std::ios::binary | std::ios::trunc) << "QR2 1\n# local\n";
  EXPECT_FALSE(report::GetAtuGerFos(local.string(), "NAOEXISTE.QR2", inProcess_, &why));
  EXPECT_NE(why.find("RELATORIO_NC"), std::string::npos) << why;
  EXPECT_EQ(readFile(local), "QR2 1\n# local\n");

  // A dead service: false and no file at all.
  useContext(1);  // nothing listens on port 1
  const fs::path fresh = dir_ / "rel" / "MODBOLCOMP.QR2";
  EXPECT_FALSE(report::GetAtuGerFos(
      fresh.string(), "MODBOLCOMP.QR2",
      std::make_shared<remote::HttpTransportFactory>("demo", "senha-demo"), &why));
  EXPECT_FALSE(why.empty());
  EXPECT_FALSE(fs::exists(fresh));
  // Nor from the process's default transport when none was configured.
  EXPECT_FALSE(report::GetAtuGerFos(fresh.string(), "MODBOLCOMP.QR2", &why));
  EXPECT_FALSE(fs::exists(fresh));
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir_ / "rel")) files += e.is_regular_file();
  EXPECT_EQ(files, 1) << "no temporary file is left behind";
}

TEST_F(ReportService, DatasetsServeABoletoAListTheNoteLinesAndATestExample) {
  report::RemoteDataSource data(inProcess_);
  data.open("127.0.0.1", 0);
  using B = report::DataBinding;

  auto boleto =
      data.fetch("BOLETO", {B{"CDFILIAL", std::string("1")}, B{"NRLANBOLREC", std::string("1")}});
  ASSERT_EQ(boleto.rows.size(), 1u) << "codes are padded before the look-up";
  auto at = [&](const report::DataTable& t, size_t r, const char* f) {
    return t.rows.at(r).at(static_cast<size_t>(t.fieldIndex(f)));
  };
  EXPECT_EQ(at(boleto, 0, "NRLANBOLREC").asString(), "0000000001");
  EXPECT_EQ(at(boleto, 0, "DTVENBOLREC").kind(), host::Value::Kind::Date);
  EXPECT_DOUBLE_EQ(at(boleto, 0, "VRFINALBREC").asDouble(), 1520.40);
  EXPECT_EQ(at(boleto, 0, "NRCEPCLIE").asString(), "01430-000");
  EXPECT_EQ(at(boleto, 0, "NRDOCUMENTO").asString(), "1001/1") << "note number / series";
  for (const char* f :
       {"NMBANCO",       "CDBANCODV",     "DSLINHABARREC", "CDBARRAREC",   "DSLOCALPAGTO",
        "NMRAZSOCBENEF", "NRINSJURBENEF", "DSENDBENEF",    "CDAGENCIA",    "CDCEDENTEBAN",
        "CDCONTCORR",    "DTEMISSAO",     "DSESPECIEDOC",  "IDACEITE",     "DTPROCESSAMENTO",
        "CDNOSNUMREC",   "CDCARTCOBBOL",  "VRMULTABREC",   "VRMORDIABREC", "TXINSTRUCOES",
        "NMRAZSOCCLIE",  "NRINSJURCLIE",  "DSENDCLIE",     "NMBAIRROCLIE", "NMCIDADECLIE",
        "SGUFCLIE",      "CDDEPIDENREC",  "NRNOTAFISC",    "TXOBSNF"})
    EXPECT_GE(boleto.fieldIndex(f), 0) << f;

  // The note's lines add up to the note.
  auto items = data.fetch(
      "ITENSNF", {B{"CDFILIAL", std::string("0001")}, B{"NRLANBOLREC", std::string("0000000001")}});
  ASSERT_GE(items.rows.size(), 2u);
  double total = 0;
  for (size_t r = 0; r < items.rows.size(); ++r) total += at(items, r, "VRTOTITEMNF").asDouble();
  EXPECT_NEAR(total, 1520.40, 0.001);

  // A selection list gives each of its boletos; another company's boleto is not served.
  auto c = connect("Rec12000.rdmHabContRec");
  host::ClientDataset lista("cdsCriaLista");
  lista.setFieldDefs(
      {{"NRLISTA", host::FieldType::String, 10}, {"CDLISTA", host::FieldType::String, 50}});
  lista.open();
  for (const char* key : {"00010000000001", "00010000000002", "00030000000001"}) {
    lista.append();
    lista.fieldByName("CDLISTA").setValue(std::string(key));
    lista.post();
  }
  const auto created =
      remote::CheckResultServ(
          c->call("CriaLista", {remote::Variant::packet(lista.toPacket()), "0001"}))
          .items();
  host::ClientDataset listed;
  listed.loadPacket(created.at(1).packetJson());
  const std::string nrLista = listed.valueOf("NRLISTA").asString();
  auto ofList = data.fetch("BOLETO", {B{"NRLISTA", nrLista}});
  ASSERT_EQ(ofList.rows.size(), 2u) << "the branch 0003 boleto belongs to company 08";
  EXPECT_EQ(at(ofList, 1, "NRLANBOLREC").asString(), "0000000002");

  // The empty key of a test print: one example row with the company as beneficiary.
  auto example =
      data.fetch("BOLETO", {B{"CDFILIAL", std::string()}, B{"NRLANBOLREC", std::string()}});
  ASSERT_EQ(example.rows.size(), 1u);
  EXPECT_EQ(at(example, 0, "NMRAZSOCBENEF").asString(), "Comercial Exemplo Ltda");
  EXPECT_EQ(at(example, 0, "CDBARRAREC").asString(), "") << "a test print draws no bars";

  try {
    data.fetch("CLIENTES", {});
    FAIL() << "an unknown dataset is refused";
  } catch (const host::OperationError& e) {
    EXPECT_NE(std::string(e.what()).find("CLIENTES"), std::string::npos) << e.what();
  }
  EXPECT_THROW(data.fetch("BOLETO", {B{"CDCLIENTE", std::string("1")}}), host::OperationError);
  EXPECT_THROW(data.fetch("BOLETO", {B{"CDFILIAL", std::string("00001")},
                                     B{"NRLANBOLREC", std::string("1")}}),
               host::OperationError)
      << "a branch longer than its field is refused, not cut";
  data.close();
  EXPECT_FALSE(data.connected());
  EXPECT_THROW(data.fetch("BOLETO", {}), host::OperationError);
}

TEST_F(ReportService, InvoiceTemplatePrintsTheNoteLinesAndAFailedOutputClosesTheConnection) {
  report::RemoteDataSource data(inProcess_);
  const std::string text =
      renderToPdf(data, "MODELONFA4_BREAL.QR2", "0001", "0000000001", inProcess_);
  EXPECT_NE(text.find("Serviços de manutenção conforme contrato"), std::string::npos) << text;
  EXPECT_NE(text.find("Referente à nota fiscal 1001"), std::string::npos);

  // Company 08's boleto is not served to company 04: the report refuses an empty document
  // and the connection is closed all the same.
  report::ReportPrinter printer(data);
  printer.setParameterEvent([](const std::string& p) -> host::Value {
    if (p == "P_CDFILIAL") return std::string("0003");
    if (p == "P_NRLANBOLREC") return std::string("0000000001");
    return {};
  });
  report::PdfExportEngine engine((dir_ / "outra.pdf").string());
  EXPECT_THROW(printer.ExportReport((dir_ / "rel" / "MODELONFA4_BREAL.QR2").string(), {}, engine),
               host::OperationError);
  EXPECT_FALSE(data.connected());
  EXPECT_FALSE(fs::exists(dir_ / "outra.pdf"));
}

TEST_F(ReportService, OverHttpTheBoletoRendersAtTheContextsAddress) {
  const Numbered b = numberPendingBoleto();
  startHttp();
  auto http = std::make_shared<remote::HttpTransportFactory>("demo", "senha-demo");
  report::RemoteDataSource data(http);
  const std::string text = renderToPdf(data, "MODBOLCOMP.QR2", b.branch, b.number, http);
  EXPECT_NE(text.find(b.line), std::string::npos) << text;
  EXPECT_NE(text.find("Alfa Distribuidora de Alimentos Ltda"), std::string::npos);

  // A service that is not there: a clear error, and nothing left open.
  EXPECT_THROW(data.open("127.0.0.1", 1), host::OperationError);
  EXPECT_FALSE(data.connected());
}

}  // namespace

namespace {

TEST_F(ReportService, SeedingAgainReplacesOlderTemplatesAndKeepsNewerDesigns) {
  auto& sql = svc_->db->session();
  sql << "UPDATE MODELORELAT SET TXCONTEUDO = 'QR2 1\n# editado#', NRVERSAO = '00000009' "
         "WHERE NMARQUIVO = 'MODBOLCOMP.QR2'";
  sql << "UPDATE MODELORELAT SET TXCONTEUDO = 'QR2 1\n# antigo#', NRVERSAO = '00000000' "
         "WHERE NMARQUIVO = 'MODBOLPREI.QR2'";
  sql << "DELETE FROM MODELORELAT WHERE NMARQUIVO = 'MODBOLDEPID.QR2'";
  int lines = 0;
  sql << "SELECT COUNT(*) FROM ITEMNOTAFISC", soci::into(lines);

  service::SeedOptions o;
  o.password = "senha-demo";
  o.today = clock_->today();
  service::seed(*svc_->db, o);

  auto content = [&](const char* name) {
    std::string text;
    const std::string file = std::string(name);
    sql << "SELECT TXCONTEUDO FROM MODELORELAT WHERE NMARQUIVO = :n", soci::use(file),
        soci::into(text);
    return text;
  };
  EXPECT_EQ(content("MODBOLCOMP.QR2"), "QR2 1\n# editado#")
      << "a later design on the service stays";
  EXPECT_EQ(content("MODBOLPREI.QR2"), shipped("MODBOLPREI.QR2"));
  EXPECT_EQ(content("MODBOLDEPID.QR2"), shipped("MODBOLDEPID.QR2"));
  int again = 0;
  sql << "SELECT COUNT(*) FROM ITEMNOTAFISC", soci::into(again);
  EXPECT_EQ(again, lines) << "the demo notes get their lines once";
}

TEST_F(ReportService, DatasetBindingsMayComeAsAPacket) {
  host::ClientDataset b("bindings");
  b.setFieldDefs(
      {{"CDFILIAL", host::FieldType::String, 4}, {"NRLANBOLREC", host::FieldType::String, 10}});
  b.open();
  b.append();
  b.fieldByName("CDFILIAL").setValue(std::string("0001"));
  b.fieldByName("NRLANBOLREC").setValue(std::string("0000000001"));
  b.post();
  const auto packet = qrd("GetDataSet", {"ITENSNF", remote::Variant::packet(b.toPacket())});
  const auto table = report::tableFromPacket(packet.packetJson());
  EXPECT_GE(table.rows.size(), 2u);
  EXPECT_EQ(table.rows.at(0).at(0).asString(), "0001");
}

}  // namespace

namespace {

TEST_F(ReportService, AnImportedTemplateReplacesTheStoredOneAndBadFilesAreRefused) {
  auto& sql = svc_->db->session();
  const auto when = host::DateTime::fromYmdHms(2027, 1, 5, 10, 30, 0);
  service::storeTemplate(sql, "MODBOLCOMP.QR2", "QR2 1\n# versão 00000002#", when);
  const auto dados = qrd("GetDadosRel", {"MODBOLCOMP.QR2"}).items();
  EXPECT_EQ(dados.at(0).value().asDate().format("yyyymmddhhnnss"), "20270105103000");
  EXPECT_EQ(dados.at(1).asString(), "00000002");
  EXPECT_EQ(qrd("BaixaModelo", {"MODBOLCOMP.QR2"}).asString(), "QR2 1\n# versão 00000002#");

  EXPECT_THROW(service::storeTemplate(sql, "rel/X.QR2", "QR2 1\n", when), std::invalid_argument);
  EXPECT_THROW(service::storeTemplate(sql, "X.QR2", "", when), std::invalid_argument);
  EXPECT_THROW(service::storeTemplate(sql, "X.QR2", "QR2 1\n\xff", when), std::invalid_argument)
      << "a text that could not cross the wire is not stored";
  EXPECT_TRUE(qrd("GetDadosRel", {"X.QR2"}).items().at(2).asString().empty());
}

}  // namespace
