// The generation of text files from the register against the seeded service: numbers kept
// across runs, the file and its notice on a pseudo-terminal, a boleto left out on result 12,
// a directory that cannot be written, and the host's collection letters missing.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "geracao/Cli_rec12006.h"
#include "host/Consiste.h"
#include "host/ScopedFlag.h"
#include "host/SerialPort.h"
#include "register/tests/RegisterFixture.h"
#include "service/Seed.h"

using namespace rec;
namespace fs = std::filesystem;

namespace {

struct Stored {
  std::string nosso, barcode, line, status;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<fs::path> exported(const fs::path& dir) {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().rfind("Boleto", 0) == 0) out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

/// A pseudo-terminal: the generation writes to its slave, the test reads the master.
class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    slave_ = ptsname(master_);
    // Held open so that what the generation wrote stays readable after it closed the line.
    hold_ = ::open(slave_.c_str(), O_RDWR | O_NOCTTY);
  }
  ~Pty() {
    if (hold_ >= 0) ::close(hold_);
    if (master_ >= 0) ::close(master_);
  }
  bool ok() const { return master_ >= 0 && hold_ >= 0; }
  const std::string& slave() const { return slave_; }
  /// Everything that arrives within `ms` of quiet.
  std::string read(int ms = 300) {
    std::string got;
    char buf[512];
    pollfd p{master_, POLLIN, 0};
    while (::poll(&p, 1, ms) > 0) {
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    return got;
  }

 private:
  int master_ = -1, hold_ = -1;
  std::string slave_;
};

}  // namespace

class Geracao : public rec::testing::RegisterFixture {
 protected:
  void SetUp() override {
    RegisterFixture::SetUp();
    service::SeedOptions more;
    more.demo = false;
    more.extraBoletos = 4;
    more.today = clock_->today();
    service::seed(*svc_->db, more);
    settings_.reportDir = (dir_ / "rel").string() + "/";
    settings_.logDir = (dir_ / "log").string();
    settings_.packageDir = (dir_ / "pacotes").string();
    out_ = dir_ / "saida";
    for (const auto& d : {dir_ / "rel", dir_ / "log", out_, dir_ / "pacotes"})
      fs::create_directories(d);
    useSettings();
    InstalaGerarBoleto();
  }

  Stored stored(const std::string& key) {
    Stored s;
    soci::indicator i1, i2, i3, i4;
    const std::string keyBranch = key.substr(0, 4);
    const std::string keyNumber = key.substr(4);
    svc_->db->session() << "SELECT CDNOSNUMREC, CDBARRAREC, DSLINHABARREC, IDSTATBREC FROM "
                           "BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(keyBranch), soci::use(keyNumber), soci::into(s.nosso, i1),
        soci::into(s.barcode, i2), soci::into(s.line, i3), soci::into(s.status, i4);
    return s;
  }

  /// The register with up to `n` pending boletos of account 001 marked.
  TfrmHabContRec& marked(size_t n) {
    auto& f = listed();
    host::ScopedFlag marking(f.bMarcaGeral);
    for (size_t r = 1; r <= f.cdsBoletos.recordCount() && keys_.size() < n; ++r) {
      f.cdsBoletos.setRecNo(r);
      if (f.current("CDREDUCONT").asString() != "001" ||
          f.current("IDSTATBREC").asString() == "E" ||
          !host::EmptyString(f.current("NRORIGBOLREC").asString()))
        continue;
      f.Marca_Boleto(false, 'M');
      keys_.push_back(f.current("CDFILIAL").asString() + f.current("NRLANBOLREC").asString());
    }
    return f;
  }

  /// "Gera Boleto (txt)" with `script` on the generation screen; the register's result.
  void gera(TfrmHabContRec& f, std::function<void(TfrmEditaBoleto&)> script) {
    screens_->onModal("TfrmEditaBoleto", [script](host::ScreenModel& s) {
      script(dynamic_cast<TfrmEditaBoleto&>(s));
    });
    f.control("sbtImprimir").click();
    f.control("mnuGeraBoletoTxt").click();
  }

  void exporta(TfrmEditaBoleto& g, const fs::path& dir) {
    g.control("edtDiretorio").setText(dir.string());
    dialogs_->expectInformation("Exportação realizada com sucesso.");
    g.control("sbtExportar").click();
  }

  fs::path out_;
  std::vector<std::string> keys_;
};

TEST_F(Geracao, GeneratingTwiceKeepsEveryNumberAndEachRunWritesItsFile) {
  auto& f = marked(3);
  ASSERT_EQ(keys_.size(), 3u) << "the demo data has pending boletos on account 001";
  std::string parameter;
  gera(f, [&](TfrmEditaBoleto& g) {
    EXPECT_EQ(g.caption(), "Gerar Boleto (txt)");
    EXPECT_FALSE(g.control("sbtVisualizar").enabled());
    EXPECT_EQ(g.arquivoRelatorio(), "REC120GERABOL.QR2");
    exporta(g, out_);
    parameter = g.parametroBoleto();
    EXPECT_EQ(g.modalResult(), host::mrOk);
  });
  EXPECT_EQ(parameter, "_" + keys_[0] + "_" + keys_[1] + "_" + keys_[2]);
  EXPECT_TRUE(f.cdsMarca.isEmpty()) << "a completed generation drops the marks";
  EXPECT_EQ(f.control("nedCont").text(), "0");

  auto files = exported(out_);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename().string(),
            "Boleto" + clock_->now().format("yyyymmddhhnnss") + ".txt");
  const std::string text = slurp(files[0]);
  std::map<std::string, Stored> first;
  for (const auto& k : keys_) {
    first[k] = stored(k);
    EXPECT_EQ(first[k].barcode.size(), 44u) << k;
    EXPECT_EQ(first[k].status, "E") << k;
    EXPECT_NE(text.find(first[k].nosso), std::string::npos) << k << " listed with its number";
    EXPECT_NE(text.find(first[k].barcode), std::string::npos) << k << " listed with its bars";
  }
  EXPECT_EQ(slurp(dir_ / "log" / host::kSerialLogFile), "") << "no device: no log line";

  // The same boletos once more (as the register hands a boleto the operator keeps): the
  // numbers, bars and typed lines stay, and the second file does not replace the first.
  host::TKeyList again;
  for (const auto& k : keys_)
    again.Add(k, host::KeyValue(std::vector<host::Value>{
                     {}, {}, {}, {}, host::Value("01"), host::Value("A")}));
  screens_->onModal("TfrmEditaBoleto", [&](host::ScreenModel& s) {
    auto& g = dynamic_cast<TfrmEditaBoleto&>(s);
    EXPECT_EQ(g.control("edtDiretorio").text(), out_.string() + "/") << "the saved directory";
    dialogs_->expectInformation("Exportação realizada com sucesso.");
    g.control("sbtExportar").click();
  });
  EXPECT_EQ(CriaGerarBoleto(again, "001", again), host::mrOk);
  for (const auto& k : keys_) {
    const Stored s = stored(k);
    EXPECT_EQ(s.nosso, first[k].nosso) << k << " never renumbered";
    EXPECT_EQ(s.barcode, first[k].barcode) << k;
    EXPECT_EQ(s.line, first[k].line) << k;
  }
  files = exported(out_);
  ASSERT_EQ(files.size(), 2u) << "two exports within one second keep both files";
  EXPECT_EQ(slurp(files[0]), slurp(files[1]));
}

TEST_F(Geracao, ThePseudoTerminalReceivesExactlyThePathOfTheFileAndTheLogLineFollows) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  settings_.serialDevice = pty.slave();
  useSettings();
  auto& f = marked(1);
  ASSERT_EQ(keys_.size(), 1u);
  std::string written;
  gera(f, [&](TfrmEditaBoleto& g) {
    exporta(g, out_);
    written = g.arquivoExportado();
  });
  ASSERT_FALSE(written.empty());
  EXPECT_TRUE(fs::exists(written));
  EXPECT_EQ(pty.read(), written);
  const std::string log = slurp(dir_ / "log" / host::kSerialLogFile);
  EXPECT_TRUE(std::regex_match(
      log, std::regex(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d - Comando Enviado Generico)" +
                      std::regex_replace(written, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
                      "\r\n")))
      << log;
  EXPECT_EQ(host::LinhaComandoEnviado(host::DateTime::fromYmdHms(2026, 3, 2, 9, 5, 7), "/x.txt"),
            "02/03/2026 09:05:07 - Comando Enviado Generico/x.txt");
}

TEST_F(Geracao, AMissingDeviceWritesNothingAndTheExportCompletes) {
  const fs::path device = dir_ / "USB001";
  settings_.serialDevice = device.string();
  useSettings();
  auto& f = marked(1);
  gera(f, [&](TfrmEditaBoleto& g) { exporta(g, out_); });
  EXPECT_EQ(exported(out_).size(), 1u);
  EXPECT_FALSE(fs::exists(device)) << "the device is opened, never created";
  EXPECT_FALSE(fs::exists(dir_ / "log" / host::kSerialLogFile));
  // A plain file is no device either: it cannot be configured, so nothing goes to it.
  std::ofstream(device.string()).close();
  EXPECT_FALSE(host::TermiosSerialPort().Envia(device.string(), "x"));
  EXPECT_EQ(fs::file_size(device), 0u);
}

TEST_F(Geracao, ADirectoryThatCannotBeWrittenKeepsTheNumbersAndTheBoletosPending) {
  auto& f = marked(2);
  ASSERT_EQ(keys_.size(), 2u);
  const int lists = count("SELECT COUNT(*) FROM LISTA");
  gera(f, [&](TfrmEditaBoleto& g) {
    // A directory that exists and takes no file, whoever runs the test.
    g.control("edtDiretorio").setText("/proc/self");
    dialogs_->expectError("Não foi possível gravar o arquivo /proc/self/Boleto");
    g.control("sbtExportar").click();
    EXPECT_NE(g.modalResult(), host::mrOk);
    EXPECT_TRUE(g.isOpen()) << "the operator may choose another directory";
    g.control("edtDiretorio").setText("");
    dialogs_->expectError("Diretório deve ser informado.");
    g.control("sbtExportar").click();
    g.control("edtDiretorio").setText((dir_ / "nao-existe").string());
    dialogs_->expectError("Diretório inválido.");
    g.control("sbtExportar").click();
    g.sbtFecharClick();
  });
  for (const auto& k : keys_) {
    const Stored s = stored(k);
    EXPECT_FALSE(s.nosso.empty()) << k << " keeps the number it was given";
    EXPECT_EQ(s.barcode.size(), 44u) << k;
    EXPECT_NE(s.status, "E") << k << " was not generated: still pending";
  }
  EXPECT_EQ(count("SELECT COUNT(*) FROM LISTA"), lists) << "the run's list is dropped";
  EXPECT_EQ(f.cdsMarca.recordCount(), 2u) << "the marks stay after a generation not completed";
}

TEST_F(Geracao, AnEmittedBoletoAnsweredTwelveIsLeftOutAndElevenKeepsIt) {
  auto& f = listed();
  auto markKey = [&](const std::string& branch, const std::string& number) {
    ASSERT_TRUE(
        f.cdsBoletos.locate(records::kBoletoKeyFields, {host::Value(branch), host::Value(number)}));
    f.Marca_Boleto(false, 'M');
  };
  markKey("0001", "0000000003");  // emitted
  dialogs_->expectMsgAlert("\rFilial 0001 - Nº Lanc. Boleto 0000000003 - Parc. ",
                           TfrmHabContRec::kGeracaoDeixaDeFora);
  dialogs_->expectError("Nenhum boleto foi marcado");
  f.control("sbtImprimir").click();
  f.control("mnuGeraBoletoTxt").click();
  EXPECT_TRUE(f.cdsMarca.isEmpty()) << "left out and unmarked";
  for (const auto& s : screens_->shown()) EXPECT_NE(s.className, "TfrmEditaBoleto");

  markKey("0001", "0000000003");
  const size_t shownBefore = screens_->shown().size();
  const Stored before = stored("00010000000003");
  dialogs_->expectMsgAlert("Boleto já emitido.", TfrmHabContRec::kGeracaoDeixaDeFora - 1);
  std::string parameter;
  gera(f, [&](TfrmEditaBoleto& g) {
    parameter = g.parametroBoleto();
    EXPECT_TRUE(g.gerados().empty());
    g.sbtFecharClick();
  });
  EXPECT_EQ(parameter, "_00010000000003") << "11 keeps it";
  EXPECT_EQ(stored("00010000000003").nosso, before.nosso);
  EXPECT_EQ(f.cdsMarca.recordCount(), 1u) << "cancelled: the marks stay";

  // The first button stops the command before anything is prepared.
  dialogs_->expectMsgAlert("Boleto já emitido.", host::kMsgAlertFirstButton);
  f.control("sbtImprimir").click();
  f.control("mnuGeraBoletoTxt").click();
  EXPECT_EQ(f.cdsMarca.recordCount(), 1u);
  EXPECT_EQ(screens_->shown().size(), shownBefore + 1) << "no generation screen";
}

TEST_F(Geracao, NothingMarkedStopsWithBolNiAndMissingLettersAreNamed) {
  auto& f = listed();
  dialogs_->expectError("Nenhum boleto foi marcado");
  f.control("sbtImprimir").click();
  f.control("mnuGeraBoletoTxt").click();

  EXPECT_TRUE(f.control("mnuEnviaNota").enabled());
  EXPECT_EQ(f.control("mnuEnviaNota").caption(), "Enviar Carta de Cobrança");
  dialogs_->expectError("Pacote REC01100 não encontrado: " + (dir_ / "pacotes").string() +
                        "/REC01100.so");
  f.control("mnuEnviaNota").click();
}

TEST_F(Geracao, TheCollectionLettersPackageWritesOneLetterPerCustomerOverdue) {
  settings_.packageDir = REC01100_DIR;
  useSettings();
  auto& f = listed();
  // Years later by the clock, nothing is overdue yet on a day processed long before: the
  // letters follow the processing date.
  clock_->set(host::DateTime::fromYmdHms(2027, 6, 1, 9, 0, 0));
  settings_.processingDate = host::DateTime::fromYmd(2000, 1, 3);
  useSettings();
  dialogs_->expectInformation("Nenhum boleto vencido em aberto");
  f.control("mnuEnviaNota").click();
  EXPECT_FALSE(fs::exists(dir_ / "rel" / "Cartas_Cobranca"));
  settings_.processingDate = host::DateTime::fromYmd(2027, 6, 1);
  useSettings();
  dialogs_->expectInformation("carta(s) de cobrança gravada(s) em");
  f.control("mnuEnviaNota").click();
  const fs::path letters = dir_ / "rel" / "Cartas_Cobranca" / "2027-06-01";
  ASSERT_TRUE(fs::is_directory(letters));
  size_t n = 0;
  for (const auto& e : fs::directory_iterator(letters)) {
    ++n;
    const std::string text = slurp(e.path());
    EXPECT_NE(text.find("Total em aberto: R$ "), std::string::npos) << e.path();
    EXPECT_NE(text.find("vencidos até 01/06/2027"), std::string::npos) << e.path();
  }
  EXPECT_GT(n, 0u) << "the demo data has overdue boletos";
}
