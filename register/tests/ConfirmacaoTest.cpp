// Confirming the register's edits: what the operator typed on "Dados para Recebimento" or in
// the list is in the database afterwards, survives the reload and another connection, is
// replicated to exactly the marked boletos, and a stale edit is refused with nothing lost on
// either side. Also: no enabled command of the register is a no-op.

#include <set>
#include <thread>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "records/Tables.h"
#include "register/Comandos.h"
#include "register/tests/RegisterFixture.h"
#include "remote/HttpServer.h"

using namespace rec;
using host::Value;
using rec::testing::keyOf;
using rec::testing::RegisterFixture;

namespace {

class Confirmacao : public RegisterFixture {
 public:
  void go(TfrmHabContRec& f, const char* number) {
    ASSERT_TRUE(f.cdsBoletos.locate(records::kBoletoKeyFields, {Value("0001"), Value(number)}))
        << number;
  }
  /// Types into a field and leaves it for the account field, as the operator does.
  void typeAndLeave(TfrmHabContRec& f, const char* control, const std::string& text) {
    f.control(control).setFocus();
    f.control(control).type(text);
    f.focusList();
  }
  /// The collection data every confirmation needs: a write-off type.
  void editWithWriteOff(TfrmHabContRec& f, const char* number) {
    go(f, number);
    f.Alterar();
    ASSERT_TRUE(f.listEditing());
    typeAndLeave(f, "edtCDTPBAIXAREC", "1");
  }
  std::string stored(const std::string& column, const std::string& number,
                     const std::string& branch = "0001") {
    std::string v;
    soci::indicator ind = soci::i_null;
    svc_->db->session() << "SELECT " + column +
                               " FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(branch), soci::use(number), soci::into(v, ind);
    return ind == soci::i_ok ? v : "<null>";
  }
  double storedNumber(const std::string& column, const std::string& number) {
    double v = 0;
    soci::indicator ind = soci::i_null;
    svc_->db->session() << "SELECT " + column +
                               " FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC = :n",
        soci::use(number), soci::into(v, ind);
    return v;
  }
};

}  // namespace

TEST_F(Confirmacao, ReceivingDataOfOneBoletoAreStoredAndSurviveTheReloadAndAnotherConnection) {
  auto& f = listed();
  editWithWriteOff(f, "0000000001");
  const double net = f.cdsBoletos.valueOf("VRFINALBREC").asDouble();
  typeAndLeave(f, "dbePeMulta", "3,5");
  typeAndLeave(f, "dbeVrMora", "0,77");
  f.control("memTXMENSBOLBOL").type("Não receber após o vencimento.");
  f.control("cbxIDCARTCOBREC").choose(2);
  f.control("cbxCDDIAPROTBOL").choose(2);
  f.control("edtQTDIAPROTBOL").type("5");
  f.control("cbxIDFORMCADBREC").choose(1);
  f.Confirmar();

  EXPECT_FALSE(f.listEditing());
  // The reload kept the boleto current and shows what was typed.
  EXPECT_EQ(f.cdsBoletos.valueOf("NRLANBOLREC").asString(), "0000000001");
  EXPECT_EQ(f.control("dbePeMulta").text(), "3,500");
  EXPECT_EQ(f.control("memTXMENSBOLBOL").text(), "Não receber após o vencimento.");
  EXPECT_EQ(f.control("cbxIDCARTCOBREC").itemIndex(), 2);
  EXPECT_EQ(f.control("edtQTDIAPROTBOL").text(), "5");

  // Another connection on the same database reads the same.
  auto other = service::openService(storage_->where(), clock_);
  std::string writeOff, message, portfolio, protestCode, registration;
  double fine = 0, fineValue = 0, interest = -1, interestValue = 0, days = 0;
  other->db->session() << "SELECT CDTPBAIXAREC, TXMENSBOLBOL, IDCARTCOBREC, CDDIAPROTBOL, "
                          "IDFORMCADBREC, VRPEMULBREC, VRMULTABREC, VRPEMORBREC, VRMORDIABREC, "
                          "QTDIAPROTBOL FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC "
                          "= '0000000001'",
      soci::into(writeOff), soci::into(message), soci::into(portfolio), soci::into(protestCode),
      soci::into(registration), soci::into(fine), soci::into(fineValue), soci::into(interest),
      soci::into(interestValue), soci::into(days);
  EXPECT_EQ(writeOff, "01");
  EXPECT_EQ(message, "Não receber após o vencimento.");
  EXPECT_EQ(portfolio, "2");
  EXPECT_EQ(protestCode, "2");
  EXPECT_EQ(registration, "2");
  EXPECT_DOUBLE_EQ(fine, 3.5);
  EXPECT_DOUBLE_EQ(fineValue, host::RoundDec(2, host::RoundDec(2, net) * 3.5 / 100));
  EXPECT_EQ(interest, 0) << "a value typed clears its percentage";
  EXPECT_DOUBLE_EQ(interestValue, 0.77);
  EXPECT_EQ(days, 5);
  // A boleto not yet sent stays out of any remittance.
  EXPECT_EQ(stored("IDSITUCNABR", "0000000001"), "00");
}

TEST_F(Confirmacao, ReplicationChangesExactlyTheMarkedBoletosAndTheMarksComeBack) {
  service::SeedOptions more;
  more.demo = false;
  more.extraBoletos = 1000;
  more.today = clock_->today();
  service::seed(*svc_->db, more);
  auto& f = listed();
  ASSERT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE IDCARTCOBREC = '3'"), 0);
  // Mark the pending boletos of account 001 (the thousand added and the demo's), with the
  // marking's bookkeeping but without its questions.
  std::set<std::string> marked;
  {
    host::DetachedEvents noRules(f.cdsBoletos);
    for (f.cdsBoletos.first(); !f.cdsBoletos.eof(); f.cdsBoletos.next()) {
      if (f.cdsBoletos.valueOf("IDSTATBREC").asString() != "A" ||
          f.cdsBoletos.valueOf("CDREDUCONT").asString() != "001") {
        continue;
      }
      f.cdsBoletos.edit();
      f.cdsBoletos.fieldByName("IDMARCADO").setString("M");
      f.cdsBoletos.post();
      f.cdsMarca.append();
      for (const auto& def : f.cdsMarca.fieldDefs()) {
        f.cdsMarca.fieldByName(def.name).setValue(f.cdsBoletos.valueOf(def.name));
      }
      f.cdsMarca.post();
      marked.insert(f.cdsBoletos.valueOf("CDFILIAL").asString() +
                    f.cdsBoletos.valueOf("NRLANBOLREC").asString());
    }
    f.cdsBoletos.mergeChangeLog();
  }
  ASSERT_GE(marked.size(), 1000u);
  const int before = count("SELECT COUNT(*) FROM BOLRECEBER WHERE VRPEMULBREC = 4");
  editWithWriteOff(f, "0000000001");
  f.control("cbxIDCARTCOBREC").choose(3);
  typeAndLeave(f, "dbePeMulta", "4");
  dialogs_->expectQuestion("gravado em todos os boletos marcados", true)
      .expectQuestion("cancelados da remessa", true);
  f.Confirmar();

  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE IDCARTCOBREC = '3'"),
            static_cast<int>(marked.size()));
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE VRPEMULBREC = 4"),
            before + static_cast<int>(marked.size()));
  soci::rowset<soci::row> rows =
      (svc_->db->session().prepare << "SELECT CDFILIAL, NRLANBOLREC, VRFINALBREC, VRMULTABREC, "
                                      "DTVENBOLREC FROM BOLRECEBER WHERE IDCARTCOBREC = '3'");
  std::set<std::string> dueDates;
  for (const auto& r : rows) {
    EXPECT_TRUE(marked.count(r.get<std::string>(0) + r.get<std::string>(1)));
    // Each boleto's fine value from its own net value.
    EXPECT_DOUBLE_EQ(r.get<double>(3),
                     host::RoundDec(2, host::RoundDec(2, r.get<double>(2)) * 4 / 100));
    dueDates.insert(r.get<std::string>(4));
  }
  EXPECT_GT(dueDates.size(), 1u) << "what the operator did not change stays each boleto's own";
  // The marks are back on the reloaded list.
  EXPECT_EQ(f.cdsMarca.recordCount(), marked.size());
  EXPECT_EQ(f.cdsBoletos.valueOf("NRLANBOLREC").asString(), "0000000001");
}

TEST_F(Confirmacao, AStaleEditIsRefusedAndLosesNothingOnEitherSide) {
  auto& f = listed();
  editWithWriteOff(f, "0000000001");
  typeAndLeave(f, "dbePeMulta", "3");
  f.control("memTXMENSBOLBOL").type("Mensagem do operador");
  // Meanwhile another operator changes the fine of the same boleto.
  svc_->db->session()
      << "UPDATE BOLRECEBER SET VRPEMULBREC = 9 WHERE CDFILIAL = '0001' AND NRLANBOLREC = "
         "'0000000001'";
  EXPECT_EQ(keyOf([&] { f.Confirmar(); }), "ALT_BLOQ");
  EXPECT_TRUE(f.listEditing()) << "the screen stays in edit";
  EXPECT_EQ(f.control("dbePeMulta").text(), "3,000");
  EXPECT_DOUBLE_EQ(f.cdsBoletos.valueOf("VRPEMULBREC").asDouble(), 3);
  EXPECT_EQ(f.control("memTXMENSBOLBOL").text(), "Mensagem do operador");
  EXPECT_DOUBLE_EQ(storedNumber("VRPEMULBREC", "0000000001"), 9);
  EXPECT_EQ(stored("CDTPBAIXAREC", "0000000001"), "<null>") << "nothing of the edit was written";
  // Cancelled and read again, the edit goes through.
  dialogs_->expectQuestion("Cancelar operação?", true);
  f.Cancelar();
  f.Verificar();
  editWithWriteOff(f, "0000000001");
  typeAndLeave(f, "dbePeMulta", "3");
  f.Confirmar();
  EXPECT_DOUBLE_EQ(storedNumber("VRPEMULBREC", "0000000001"), 3);
}

TEST_F(Confirmacao, ANumberedBoletoKeepsItsAccountAndCodes) {
  auto& f = listed();
  editWithWriteOff(f, "0000000002");  // numbered, account 001
  const std::string number = stored("CDNOSNUMREC", "0000000002");
  ASSERT_NE(number, "<null>");
  dialogs_->expectQuestion("sobrepor", true);
  typeAndLeave(f, "edtCDREDUCONT", "2");
  const std::string message = stored("TXMENSBOLBOL", "0000000002");
  dialogs_->expectQuestion("excluído da remessa", true);
  EXPECT_EQ(keyOf([&] { f.Confirmar(); }), "NNUM_FIXO");
  EXPECT_EQ(stored("TXMENSBOLBOL", "0000000002"), message) << "nothing of the edit was written";
  EXPECT_NE(stored("NRCNABRECREM", "0000000002"), "<null>");
  EXPECT_TRUE(f.listEditing());
  EXPECT_EQ(stored("CDREDUCONT", "0000000002"), "001");
  EXPECT_EQ(stored("CDNOSNUMREC", "0000000002"), number);
}

TEST_F(Confirmacao, ADescriptionTypedInTheListIsStoredAndTabFreesThePages) {
  auto& f = listed();
  go(f, "0000000008");
  auto& list = f.grid("dbgPadrao");
  list.colEnter("FTR_DSBOLETREC");
  list.keyPress('N');
  ASSERT_TRUE(f.listEditing());
  EXPECT_FALSE(f.control("tshDadosRec").enabled());
  f.cdsBoletos.fieldByName("FTR_DSBOLETREC").setString("Nova descrição");
  GridKey tab = GridKey::Tab;
  list.keyDown(tab, {});
  EXPECT_FALSE(f.listEditing());
  EXPECT_EQ(stored("DSBOLETREC", "0000000008"), "Nova descrição");
  EXPECT_EQ(f.cdsBoletos.valueOf("FTR_DSBOLETREC").asString(), "Nova descrição");
  for (const char* on : {"tshDadosRec", "tshFormulario", "tshAjustes", "pnlEmpresa"}) {
    EXPECT_TRUE(f.control(on).enabled()) << on;
  }
  EXPECT_TRUE(f.control("sbtAlterar").enabled());
}

TEST_F(Confirmacao, NoEnabledCommandIsANoOp) {
  auto& f = listed();
  // A command not built is never enabled; the built ones follow their own rules, tested with
  // their screens.
  for (const auto& c : kRegisterCommands) {
    if (!c.built) {
      EXPECT_FALSE(f.control(c.control).enabled()) << c.caption;
    }
  }
  for (const char* page :
       {"tshFolhaDados", "tshDadosRec", "tshAjustes", "tshProrrogacao", "tshParcelamento"}) {
    f.pageControl("pgcPadrao").showPage(page);
    for (const char* off : {"sbtIncluir", "sbtExcluir"}) {
      // The adjustments page adds an adjustment (AjustesTest.cpp).
      if (std::string_view(page) == "tshAjustes" && std::string_view(off) == "sbtIncluir") {
        EXPECT_TRUE(f.control(off).enabled());
        continue;
      }
      EXPECT_FALSE(f.control(off).enabled()) << off << " on " << page;
    }
    if (!pageBuilt(page)) {
      EXPECT_FALSE(f.control("sbtAlterar").enabled()) << page;
      EXPECT_FALSE(f.control("sbtConfirmar").enabled()) << page;
    }
  }
  f.pageControl("pgcPadrao").showPage("tshFolhaDados");

  // "Pesquisar" picks a row of the list and goes there.
  ASSERT_TRUE(f.control("sbtPesquisar").enabled());
  dialogs_->expectPick(2);
  f.control("sbtPesquisar").click();
  EXPECT_EQ(f.cdsBoletos.recNo(), 3u);
  const std::string current = f.cdsBoletos.valueOf("NRLANBOLREC").asString();

  // "Verificar" reads the list again and stays on the boleto.
  svc_->db->session() << "UPDATE BOLRECEBER SET DSBOLETREC = 'Lida de novo' WHERE NRLANBOLREC = :n",
      soci::use(current);
  ASSERT_TRUE(f.control("sbtVerificar").enabled());
  f.control("sbtVerificar").click();
  EXPECT_EQ(f.cdsBoletos.valueOf("NRLANBOLREC").asString(), current);
  EXPECT_EQ(f.cdsBoletos.valueOf("FTR_DSBOLETREC").asString(), "Lida de novo");
}

TEST_F(Confirmacao, TheReceivablesBesideTheListShowFieldsThePacketCarries) {
  auto& f = listed();
  go(f, "0000000001");
  ASSERT_TRUE(f.cdsCntReceber.active());
  for (const auto& col : f.grid("dbgCntReceber").columns()) {
    EXPECT_GE(f.cdsCntReceber.fieldIndex(col.field), 0) << col.field;
    EXPECT_FALSE(f.cdsCntReceber.valueOf(col.field).isNull()) << col.field;
  }
  const std::string note = f.cdsCntReceber.valueOf("NRNOTAFISC").asString();
  const std::string series = f.cdsCntReceber.valueOf("CDSERIE").asString();
  EXPECT_EQ(f.cdsCntReceber.valueOf("DOCUMENTO").asString(),
            series.empty() ? note : note + "/" + series);
}

TEST_F(Confirmacao, AgencyAndAccountShowThroughTheirMasks) {
  auto& f = listed();
  go(f, "0000000001");
  const std::string agencyMask = f.cdsBoletos.valueOf("CDPICTAGEN").asString();
  const std::string accountMask = f.cdsBoletos.valueOf("CDPICTCONT").asString();
  ASSERT_FALSE(accountMask.empty());
  EXPECT_EQ(
      f.control("edtCDCONTCORR").text(),
      host::FormatMaskText(accountMask + ";0; ", f.cdsBoletos.valueOf("CDCONTCORR").asString()));
  if (!agencyMask.empty()) {
    EXPECT_EQ(
        f.control("edtCDAGENCIA").text(),
        host::FormatMaskText(agencyMask + ";0; ", f.cdsBoletos.valueOf("CDAGENCIA").asString()));
  }
  EXPECT_NE(f.control("edtCDCONTCORR").text().find('-'), std::string::npos);
}

// The same register over HTTP on the loopback: the edit is stored, and a stale one refused.
class ConfirmacaoHttp : public Confirmacao {
 protected:
  void SetUp() override {
    Confirmacao::SetUp();
    server_ = std::make_unique<remote::HttpServer>(svc_->dispatcher, svc_->auth);
    settings_.webUrl = "127.0.0.1";
    settings_.webPort = server_->bind("127.0.0.1", 0);
    thread_ = std::thread([this] { server_->serve(); });
    factory_ = std::make_shared<remote::HttpTransportFactory>("demo", "senha-demo");
    useSettings();
  }
  void TearDown() override {
    Confirmacao::TearDown();
    server_->stop();
    thread_.join();
  }
  std::unique_ptr<remote::HttpServer> server_;
  std::thread thread_;
};

TEST_F(ConfirmacaoHttp, AnEditIsStoredAndAStaleOneRefused) {
  auto& f = listed();
  editWithWriteOff(f, "0000000008");
  typeAndLeave(f, "dbePeMora", "1");
  f.Confirmar();
  EXPECT_DOUBLE_EQ(storedNumber("VRPEMORBREC", "0000000008"), 1);

  editWithWriteOff(f, "0000000001");
  typeAndLeave(f, "dbePeMulta", "5");
  svc_->db->session()
      << "UPDATE BOLRECEBER SET VRMULTABREC = 99 WHERE CDFILIAL = '0001' AND NRLANBOLREC = "
         "'0000000001'";
  EXPECT_EQ(keyOf([&] { f.Confirmar(); }), "ALT_BLOQ");
  EXPECT_TRUE(f.listEditing());
  EXPECT_EQ(f.control("dbePeMulta").text(), "5,000");
  EXPECT_DOUBLE_EQ(storedNumber("VRMULTABREC", "0000000001"), 99);
}
