// The e-mail road from the register against the real service and a real SMTP server: what
// each customer receives, what is recorded, and how a failing server stops the run.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "host/ScopedFlag.h"
#include "host/Secrets.h"
#include "host/smtp/testing/SmtpTestServer.h"
#include "mail/EnvBolMail.h"
#include "register/tests/RegisterFixture.h"

namespace {

namespace fs = std::filesystem;
using host::smtp::testing::ReceivedMessage;
using host::smtp::testing::SmtpTestServer;
using rec::TfrmEnvBolMail;
using rec::TfrmHabContRec;

host::smtp::testing::SmtpTestServer& server() {
  return SmtpTestServer::shared();
}

/// The key file of this test process: the seed seals the demo password with it.
const fs::path& keyFile() {
  static const fs::path f =
      fs::temp_directory_path() / ("boleto-mail-tests-" + std::to_string(::getpid())) / "key";
  return f;
}

class Mail : public rec::testing::RegisterFixture {
 protected:
  void SetUp() override {
    ::setenv("BOLETO_SECRET_KEY_FILE", keyFile().c_str(), 1);
    keyFile();
    RegisterFixture::SetUp();
    // The run's folders and the branches' message files of this test only.
    ::setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
    settings_.reportDir = (dir_ / "rel").string() + "/";
    fs::create_directories(dir_ / "rel");
    fs::create_directories(dir_ / "tmp");
    useSettings();
    rec::InstalaEnvBolMail();
    sender_ = "boletos-" + host::smtp::testing::uniqueTag() + "@empresa.example";
    useServer("plain");
  }

  void TearDown() override {
    RegisterFixture::TearDown();
    fs::remove_all(keyFile().parent_path());
  }

  /// Every branch sends from the test's own address through `listener` of the test server.
  void useServer(const std::string& listener) {
    const std::string smtp = server().host() + ":" + std::to_string(server().port(listener));
    svc_->db->session() << "UPDATE ENDEFILI SET DSEMAILFILI = :m, DSSMTPEMAILF = :s",
        soci::use(sender_), soci::use(smtp);
  }

  /// The register with the pending boletos of account 001 marked.
  TfrmHabContRec& markedPending() {
    auto& f = listed();
    host::ScopedFlag marking(f.bMarcaGeral);
    for (size_t r = 1; r <= f.cdsBoletos.recordCount(); ++r) {
      f.cdsBoletos.setRecNo(r);
      if (f.current("CDREDUCONT").asString() != "001") continue;
      if (f.current("IDSTATBREC").asString() == "E") continue;
      f.Marca_Boleto(false, 'M');
      keys_.push_back(f.current("CDFILIAL").asString() + f.current("NRLANBOLREC").asString());
    }
    EXPECT_EQ(keys_.size(), 3u) << "the demo data has three pending boletos on account 001";
    return f;
  }

  /// "Enviar Boleto" with the e-mail screen confirmed (and `script` run on it first).
  void send(TfrmHabContRec& f, std::function<void(TfrmEnvBolMail&)> script = {}) {
    screens_->onModal("TfrmEnvBolMail", [&](host::ScreenModel& s) {
      auto& m = dynamic_cast<TfrmEnvBolMail&>(s);
      m.setCaFile(server().caFile());
      if (script) script(m);
      m.control("sbtConfirma").click();
      if (m.isOpen()) {
        m.setModalResult(host::mrCancel);
        m.close();
      }
    });
    lists_ = count("SELECT COUNT(*) FROM LISTA");
    f.run([&] { f.mnuEnviarBoletoClick(); });
  }

  std::string status(const std::string& key) {
    std::string s;
    const std::string keyBranch = key.substr(0, 4);
    const std::string keyNumber = key.substr(4);
    svc_->db->session() << "SELECT IDSTATBREC FROM BOLRECEBER WHERE CDFILIAL = :f AND "
                           "NRLANBOLREC = :n",
        soci::use(keyBranch), soci::use(keyNumber), soci::into(s);
    return s;
  }
  std::string column(const std::string& col, const std::string& key) {
    std::string s;
    soci::indicator ind;
    const std::string keyBranch = key.substr(0, 4);
    const std::string keyNumber = key.substr(4);
    svc_->db->session() << "SELECT " + col +
                               " FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(keyBranch), soci::use(keyNumber), soci::into(s, ind);
    return ind == soci::i_ok ? s : std::string();
  }

  /// The run left nothing behind: no list on the service, no private folder.
  void expectCleanedUp() {
    EXPECT_EQ(count("SELECT COUNT(*) FROM LISTA"), lists_) << "the run's list is still there";
    for (const auto& e : fs::directory_iterator(fs::temp_directory_path()))
      EXPECT_NE(e.path().filename().string().rfind("boleto-mail-", 0), 0u)
          << "run folder left: " << e.path();
  }

  std::string sender_;
  std::vector<std::string> keys_;
  int lists_ = 0;  ///< the lists on the service before the run (the register's own)
};

TEST_F(Mail, EachBoletoGoesInAMessageOfItsOwnWithItsPdfAndTheDocumentsOfItsNotes) {
  auto& f = markedPending();
  std::string numbered;
  for (const auto& key : keys_)
    if (!column("CDNOSNUMREC", key).empty()) numbered = key;
  ASSERT_FALSE(numbered.empty()) << "a pending demo boleto carries a number";
  const std::string numberedBefore = column("CDNOSNUMREC", numbered);
  send(f);

  const auto got = server().messagesFrom(sender_);
  ASSERT_EQ(got.size(), 3u);
  for (const auto& key : keys_) {
    EXPECT_EQ(status(key), "E") << key << " recorded as sent";
    const auto it = std::find_if(got.begin(), got.end(), [&](const ReceivedMessage& m) {
      for (const auto* a : m.attachments())
        if (a->fileName.size() >= 18 && a->fileName.compare(a->fileName.size() - 18, 14, key) == 0)
          return true;
      return false;
    });
    ASSERT_NE(it, got.end()) << "no message carries the PDF of " << key;
    EXPECT_TRUE(it->defects.empty());
    EXPECT_EQ(it->header("From"), sender_);
    EXPECT_EQ(it->header("Subject"), "Envio de Boleto");
    EXPECT_NE(it->text().find("Contas a receber"), std::string::npos);
    for (const auto* a : it->attachments()) EXPECT_EQ(a->bytes.rfind("%PDF-", 0), 0u);
  }
  EXPECT_EQ(column("CDNOSNUMREC", numbered), numberedBefore) << "a number once given stays";

  // João registered two addresses for his notes: both receive it, with the note's DANFE.
  const auto joao = std::find_if(got.begin(), got.end(),
                                 [](const ReceivedMessage& m) { return m.recipients.size() == 2; });
  ASSERT_NE(joao, got.end());
  EXPECT_EQ(joao->recipients,
            (std::vector<std::string>{"nfe.joao@mail.example", "contador.joao@mail.example"}));
  ASSERT_EQ(joao->attachments().size(), 2u);
  const std::string danfe = joao->attachments()[1]->fileName;
  EXPECT_EQ(danfe.size(), 44u + 8u);
  EXPECT_EQ(danfe.substr(44), "-nfe.pdf");
  expectCleanedUp();
}

TEST_F(Mail, ARefusedRecipientStopsTheRunKeepingWhatWasSentAndLeavingTheRestUntouched) {
  svc_->db->session() << "UPDATE CLIENTE SET DSEMAILCLIE = 'refuse-beta@beta.example' WHERE "
                         "CDCLIENTE = '000000000000000000102'";
  auto& f = markedPending();
  dialogs_->expectError("MailTo Exception->5.1.1");
  send(f);
  const auto got = server().messagesFrom(sender_);
  ASSERT_LT(got.size(), 3u) << "the run stopped at Beta's boleto";
  size_t recorded = 0;
  for (const auto& key : keys_) {
    if (column("CDCLIENTE", key) == "000000000000000000102") {
      EXPECT_EQ(status(key), "A") << "the refused boleto is not recorded";
    }
    recorded += status(key) == "E";
  }
  EXPECT_EQ(recorded, got.size()) << "exactly the boletos sent before the refusal are recorded";
  expectCleanedUp();
}

TEST_F(Mail, ARefusedLoginStopsTheRunBeforeAnythingIsSent) {
  useServer("plain_auth");
  const std::string wrong = host::sealMailPassword(keyFile(), "senha-errada");
  svc_->db->session() << "UPDATE ENDEFILI SET CDSENHEMAILF = :s", soci::use(wrong);
  auto& f = markedPending();
  dialogs_->expectError("Login Exception->5.7.8");
  send(f);
  EXPECT_TRUE(server().messagesFrom(sender_).empty());
  for (const auto& key : keys_) EXPECT_EQ(status(key), "A");
  expectCleanedUp();
}

TEST_F(Mail, ADroppedConnectionStopsTheRunWithTheDataStep) {
  svc_->db->session() << "UPDATE CLIENTE SET DSEMAILCLIE = 'drop-data@alfa.example' WHERE "
                         "CDCLIENTE = '000000000000000000101'";
  auto& f = markedPending();
  dialogs_->expectError("MailData Exception->");
  send(f);
  EXPECT_EQ(status(keys_[0]), "A");
  EXPECT_EQ(status(keys_[1]), "A");
  expectCleanedUp();
}

TEST_F(Mail, BothSecurityFlagsUseStartTlsAndTheBranchLogsIn) {
  useServer("starttls");
  svc_->db->session() << "UPDATE ENDEFILI SET IDUTSSLEMAIL = 'S', IDUTTLSEMAIL = 'S'";
  auto& f = markedPending();
  send(f);
  const auto got = server().messagesFrom(sender_);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].listener, "starttls");
  EXPECT_TRUE(got[0].tls);
  EXPECT_EQ(got[0].authUser, "boleto");
}

TEST_F(Mail, CopiesAddAToEntryAndEnvelopeRecipientsAfterTheAddress) {
  svc_->db->session() << "UPDATE CLIENTE SET DSEMAILCLIECOP = 'a@alfa.example;b@alfa.example' "
                         "WHERE CDCLIENTE = '000000000000000000101'";
  auto& f = markedPending();
  send(f);
  const auto got = server().messagesWhere([&](const ReceivedMessage& m) {
    return m.mailFrom == sender_ && !m.recipients.empty() &&
           m.recipients[0] == "financeiro@alfa.example";
  });
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].recipients, (std::vector<std::string>{"financeiro@alfa.example",
                                                         "a@alfa.example", "b@alfa.example"}));
  EXPECT_EQ(got[0].headerCount("To"), 1u);
  EXPECT_NE(got[0].header("To").find("a@alfa.example, b@alfa.example"), std::string::npos)
      << got[0].header("To");
}

TEST_F(Mail, ANameWithALineBreakIsRefusedAndNothingIsSent) {
  svc_->db->session() << "UPDATE CLIENTE SET NMRAZSOCCLIE = 'Alfa' || char(13) || char(10) || "
                         "'Bcc: x@evil.example' WHERE CDCLIENTE = '000000000000000000101'";
  auto& f = markedPending();
  dialogs_->expectError("recusado");
  send(f);
  EXPECT_TRUE(server().messagesFrom(sender_).empty());
  EXPECT_EQ(status(keys_[0]), "A");
  expectCleanedUp();
}

TEST_F(Mail, AnElectronicAndADebitNoteOfOneBoletoGoInOneMessageWithThreeAttachments) {
  // João's pending boleto collects a second receivable, paid by a debit note.
  auto& sql = svc_->db->session();
  sql << "INSERT INTO NOTAFISCAL (CDFILIAL, NRLANCTONF, CDEMPRESA, CDSERIE, NRNOTAFISC, "
         "CDCLIENTE, DTEMISSAO, VRNOTAFISC, IDTIPONF, IDNFDEBITO) VALUES ('0002', '0000009999', "
         "'04', '1', '9999', '000000000000000000105', '2026-02-01', 10, 'S', 'S')";
  sql << "INSERT INTO CTRECEBER (CDFILIAL, NRCTRECEBER, CDEMPRESA, CDCLIENTE, CDFILIEMIT, "
         "NRNOTAFISC, CDSERIE, DTEMISSAO, DTVENCTREC, VRCTRECEBER, VRSALDOREC, IDSTATCTREC, "
         "IDTPCTRECEBER, CDFILBOLREC, NRLANBOLREC) SELECT '0002', '9999999999', '04', CDCLIENTE, "
         "'0002', '9999', '1', '2026-02-01', DTVENBOLREC, 0, 0, 'A', 'N', CDFILIAL, NRLANBOLREC "
         "FROM BOLRECEBER WHERE CDREDUCONT = '001' AND CDEMPRESA = '04' AND CDCLIENTE = "
         "'000000000000000000105' AND IDSTATBREC <> 'E'";
  auto& f = markedPending();
  send(f);
  const auto got = server().messagesWhere(
      [&](const ReceivedMessage& m) { return m.mailFrom == sender_ && m.recipients.size() == 2; });
  ASSERT_EQ(got.size(), 1u);
  const auto parts = got[0].attachments();
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_NE(parts[0]->fileName, parts[1]->fileName);
  EXPECT_NE(parts[1]->fileName, parts[2]->fileName);
  EXPECT_NE(parts[0]->bytes, parts[2]->bytes) << "the espelho did not replace the boleto";
  int danfes = 0, espelhos = 0;
  for (const auto* p : parts) {
    danfes += p->fileName.find("-nfe.pdf") != std::string::npos;
    espelhos += p->fileName.find("_ESPELHO_") != std::string::npos;
  }
  EXPECT_EQ(danfes, 1);
  EXPECT_EQ(espelhos, 1);
}

TEST_F(Mail, TheMessageOfABranchIsKeptInItsFileAndFoundAgain) {
  auto& f = markedPending();
  std::string file;
  screens_->onModal("TfrmEnvBolMail", [&](host::ScreenModel& s) {
    auto& m = dynamic_cast<TfrmEnvBolMail&>(s);
    EXPECT_EQ(m.control("edtAssunto").text(), "Envio de Boleto");
    EXPECT_NE(m.control("memConteudo").text().find("Contas a receber"), std::string::npos);
    m.control("edtAssunto").setText("Boletos de março");
    m.AtualizaCDSEmail();
    file = m.arquivoMensagem(host::FiliProc());
    m.setModalResult(host::mrCancel);
    m.close();
  });
  f.run([&] { f.mnuEnviarBoletoClick(); });
  ASSERT_TRUE(fs::exists(file));
  EXPECT_NE(file.find("EnvBolMailConfimacao0001.cds"), std::string::npos);

  for (const auto& key : keys_) EXPECT_EQ(status(key), "A") << "a cancelled screen sends nothing";
  // The cancelled screen gave the marks back: the command opens the screen again.
  bool reopened = false;
  screens_->onModal("TfrmEnvBolMail", [&](host::ScreenModel& s) {
    auto& m = dynamic_cast<TfrmEnvBolMail&>(s);
    reopened = true;
    EXPECT_EQ(m.control("edtAssunto").text(), "Boletos de março");
    m.setModalResult(host::mrCancel);
    m.close();
  });
  f.run([&] { f.mnuEnviarBoletoClick(); });
  EXPECT_TRUE(reopened);
}

/// The text of a PDF, as pdftotext reads it.
std::string pdfText(const std::string& bytes, const fs::path& scratch) {
  const fs::path file = scratch / "anexo.pdf";
  std::ofstream(file, std::ios::binary) << bytes;
  std::string out;
  if (FILE* p = ::popen(("pdftotext -layout '" + file.string() + "' - 2>/dev/null").c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

TEST_F(Mail, ABoletoSettledByCreditToTheAccountGoesAsAnIdentifiedDepositForm) {
  // The company prints identified deposits for the bank of account 001; Alfa's pending
  // boleto is settled by credit to the account.
  auto& sql = svc_->db->session();
  sql << "UPDATE PARAMGERAL SET IDSISDOS = '3' WHERE CDEMPRESA = '04'";
  sql << "INSERT INTO PARAMETRO (CDEMPRESA, NMPARAMETRO, TXVALOR) VALUES ('04', 'IDDEPIDENT', "
         "'S')";
  sql << "INSERT INTO PARAMETRO (CDEMPRESA, NMPARAMETRO, TXVALOR) SELECT '04', "
         "'DEPIDENTBANCOS', CDBANCO FROM CONTCORR WHERE CDEMPRESA = '04' AND CDREDUCONT = '001'";
  sql << "UPDATE FILIAL SET CDCENTCUST = '12'";
  sql << "UPDATE BOLRECEBER SET IDBAIXAUTILR = 'C' WHERE CDCLIENTE = '000000000000000000101' AND "
         "CDREDUCONT = '001' AND IDSTATBREC <> 'E'";
  auto& f = markedPending();
  std::string alfa;
  for (const auto& key : keys_)
    if (column("CDCLIENTE", key) == "000000000000000000101") alfa = key;
  ASSERT_FALSE(alfa.empty());
  const std::string numberBefore = column("CDNOSNUMREC", alfa);
  const std::string barcodeBefore = column("CDBARRAREC", alfa);
  send(f);

  const auto got = server().messagesFrom(sender_);
  ASSERT_EQ(got.size(), 3u) << "the deposit form goes like any boleto, beside the others";
  const std::string deposit = column("CDDEPIDENREC", alfa);
  ASSERT_FALSE(deposit.empty()) << "the deposit code is recorded on the boleto";
  EXPECT_EQ(status(alfa), "E");
  EXPECT_EQ(column("CDNOSNUMREC", alfa), numberBefore);
  EXPECT_EQ(column("CDBARRAREC", alfa), barcodeBefore);
  const auto it = std::find_if(got.begin(), got.end(), [&](const ReceivedMessage& m) {
    return m.recipients == std::vector<std::string>{"financeiro@alfa.example"};
  });
  ASSERT_NE(it, got.end());
  ASSERT_EQ(it->attachments().size(), 1u);
  const auto& form = *it->attachments()[0];
  EXPECT_NE(form.fileName.find(alfa), std::string::npos) << form.fileName;
  const std::string text = pdfText(form.bytes, dir_);
  EXPECT_NE(text.find(deposit), std::string::npos)
      << "the form carries the deposit code " << deposit << ":\n"
      << text;
  expectCleanedUp();

  // Sent once more (the operator keeps the emitted boleto in): the customer may have deposited
  // with the code already, so the second form carries the same one.
  {
    host::ScopedFlag marking(f.bMarcaGeral);
    for (size_t r = 1; r <= f.cdsBoletos.recordCount(); ++r) {
      f.cdsBoletos.setRecNo(r);
      if (f.current("CDFILIAL").asString() + f.current("NRLANBOLREC").asString() == alfa)
        f.Marca_Boleto(false, 'M');
    }
  }
  dialogs_->expectMsgAlert("", host::kMsgAlertFirstButton);
  send(f);
  EXPECT_EQ(column("CDDEPIDENREC", alfa), deposit);
  const auto again = server().messagesFrom(sender_);
  ASSERT_EQ(again.size(), 4u);
  ASSERT_EQ(again.back().attachments().size(), 1u);
  EXPECT_NE(pdfText(again.back().attachments()[0]->bytes, dir_).find(deposit), std::string::npos);
}

TEST_F(Mail, ACreditToTheAccountWithoutIdentifiedDepositsIsSkippedAndTheRunGoesOn) {
  svc_->db->session() << "UPDATE BOLRECEBER SET IDBAIXAUTILR = 'C' WHERE CDCLIENTE = "
                         "'000000000000000000101' AND CDREDUCONT = '001' AND IDSTATBREC <> 'E'";
  auto& f = markedPending();
  std::string alfa;
  for (const auto& key : keys_)
    if (column("CDCLIENTE", key) == "000000000000000000101") alfa = key;
  ASSERT_FALSE(alfa.empty());
  std::vector<std::pair<std::string, bool>> told;
  rec::setMailProgress([&](size_t, size_t total, const std::string& key, bool sent) {
    EXPECT_EQ(total, 3u);
    told.emplace_back(key, sent);
  });
  dialogs_->expectInformation("\"Crédito em Conta\" não pode ser enviado");
  send(f);
  rec::setMailProgress(nullptr);

  EXPECT_EQ(server().messagesFrom(sender_).size(), 2u) << "the others still go";
  EXPECT_EQ(status(alfa), "A") << "the skipped boleto is not recorded";
  ASSERT_EQ(told.size(), 3u);
  for (const auto& [key, sent] : told) EXPECT_EQ(sent, key != alfa) << key;
  expectCleanedUp();
}

}  // namespace
