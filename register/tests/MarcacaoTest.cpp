// Marking boletos in the register's list, as an operator marks them, against the seeded
// service: the marked set, key lists, counters and totals, mark all and its undoing, the
// advance and return questions, and the print order of the boletos to emit.

#include <nlohmann/json.hpp>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "module/Creators.h"
#include "records/Tables.h"
#include "register/Comandos.h"
#include "register/Marcacao.h"
#include "register/tests/RegisterFixture.h"

using namespace rec;
using rec::testing::RegisterFixture;

namespace {

const std::string kCustomer101 = "000000000000000000101";

}  // namespace

class Marking : public RegisterFixture {
 public:
  void go(TfrmHabContRec& f, const std::string& branch, const std::string& number) {
    ASSERT_TRUE(
        f.cdsBoletos.locate(records::kBoletoKeyFields, {host::Value(branch), host::Value(number)}));
  }
  // Changes the list row locally, as the screen's own data (no rule runs).
  void setLocally(TfrmHabContRec& f, const std::string& field, host::Value v) {
    host::DetachedEvents noRules(f.cdsBoletos);
    f.cdsBoletos.edit();
    f.cdsBoletos.fieldByName(field).setValue(v);
    f.cdsBoletos.post();
  }
  size_t markedRows(TfrmHabContRec& f) {
    size_t n = 0;
    for (size_t r = 1; r <= f.cdsBoletos.recordCount(); ++r)
      if (f.cdsBoletos.valueAt(r, "IDMARCADO").asString() == "M") ++n;
    return n;
  }
  void TearDown() override {
    creators().NFDebitoCred = nullptr;
    creators().CriaImpNFCred = nullptr;
    creators().CriaDescAdi = nullptr;
    RegisterFixture::TearDown();
  }
};

TEST_F(Marking, ToggleKeepsEveryDerivedStructureAndTwiceLeavesThemAsBefore) {
  auto& f = listed();
  go(f, "0001", "0000000001");  // customer 101: nothing open, pending
  f.dbgPadraoDblClick();
  EXPECT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), "M");
  ASSERT_EQ(f.cdsMarca.recordCount(), 1u);
  EXPECT_EQ(f.cdsMarca.valueOf("NRLANBOLREC").asString(), "0000000001");
  EXPECT_EQ(f.cdsMarca.valueOf("CDCLIENTE").asString(), kCustomer101);
  EXPECT_DOUBLE_EQ(f.cdsMarca.valueOf("VRFINALBREC").asDouble(), 1520.40);
  EXPECT_EQ(f.cdsMarca.valueOf("CDREDUCONT").asString(), "001");
  // Only the listed fields travel with a mark.
  EXPECT_TRUE(f.cdsMarca.valueOf("NMFANTCLIE").isNull());
  EXPECT_TRUE(f.cdsMarca.valueOf("FTR_VRFINALBREC").isNull());
  ASSERT_EQ(f.klMarcados.Count(), 1);
  EXPECT_EQ(f.klMarcados.Key(0), "00010000000001" + kCustomer101);
  EXPECT_DOUBLE_EQ(f.klMarcados.Sum(0).asDouble(), 1520.40);
  EXPECT_EQ(f.klVencimentos.Count(), 1);
  EXPECT_EQ(f.klVencimentos.Key(0),
            f.cdsBoletos.valueOf("DTVENBOLREC").asDate().format("dd/mm/yyyy"));
  EXPECT_EQ(f.nMarcOutros, 1);
  EXPECT_EQ(f.nMarcEmitidos, 0);
  EXPECT_EQ(f.control("nedTotal").text(), "1.520,40");
  EXPECT_EQ(f.control("nedCont").text(), "1");
  // A mark is not a change of the boleto: nothing to confirm, nothing logged.
  EXPECT_EQ(f.cdsBoletos.state(), host::DatasetState::Browse);
  EXPECT_EQ(f.cdsBoletos.changeCount(), 0);

  go(f, "0001", "0000000004");  // emitted
  f.dbgPadraoKeyPress(' ');
  EXPECT_EQ(f.nMarcEmitidos, 1);
  EXPECT_EQ(f.control("nedTotal").text(), "5.820,40");
  f.dbgPadraoKeyPress(' ');
  go(f, "0001", "0000000001");
  f.dbgPadraoDblClick();
  EXPECT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), "A");
  EXPECT_TRUE(f.cdsMarca.isEmpty());
  EXPECT_EQ(f.klMarcados.Count(), 0);
  EXPECT_EQ(f.klVencimentos.Count(), 0);
  EXPECT_EQ(f.nMarcOutros + f.nMarcEmitidos, 0);
  EXPECT_EQ(f.control("nedTotal").text(), "0,00");
  EXPECT_EQ(f.control("nedCont").text(), "0");
}

TEST_F(Marking, TheDueDateKeySumsGrossValuesAndDropsWhenItsLastBoletoIsUnmarked) {
  auto& f = listed();
  go(f, "0001", "0000000001");
  const host::Value due = f.cdsBoletos.valueOf("DTVENBOLREC");
  const std::string key = due.asDate().format("dd/mm/yyyy");
  go(f, "0001", "0000000008");  // 125.00, given the same due date here
  setLocally(f, "DTVENBOLREC", due);
  f.Marca_Boleto(false, 'M');
  go(f, "0001", "0000000001");
  f.Marca_Boleto(false, 'M');
  ASSERT_EQ(f.klVencimentos.Count(), 1);
  EXPECT_DOUBLE_EQ(f.klVencimentos.Sum(f.klVencimentos.IndexOf(key)).asDouble(), 1645.40);
  f.Marca_Boleto(false, 'D');
  EXPECT_DOUBLE_EQ(f.klVencimentos.Sum(f.klVencimentos.IndexOf(key)).asDouble(), 125.00);
  // Marking what is marked, or unmarking what is not, changes nothing.
  f.Marca_Boleto(false, 'D');
  go(f, "0001", "0000000008");
  f.Marca_Boleto(false, 'M');
  EXPECT_EQ(f.cdsMarca.recordCount(), 1u);
  f.Marca_Boleto(false, 'T');
  EXPECT_EQ(f.klVencimentos.Count(), 0);
  EXPECT_EQ(f.klMarcados.Count(), 0);
}

TEST_F(Marking, AnOpenAdvanceOrReturnIsOfferedAndAYesOpensTheDiscountForThatBoleto) {
  auto& f = listed();
  go(f, "0001", "0000000002");  // customer 102 has an open advance and an open return
  dialogs_->expectQuestion("adiantamento", false);
  dialogs_->expectQuestion("devolução", false);
  f.dbgPadraoDblClick();
  EXPECT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), "M");
  f.dbgPadraoDblClick();
  // Without the screen installed the yes is refused plainly and nothing is marked.
  dialogs_->expectQuestion("adiantamento", true);
  EXPECT_THROW(f.dbgPadraoDblClick(), host::OperationError);
  EXPECT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), "A");
  EXPECT_TRUE(f.cdsMarca.isEmpty());
  EXPECT_EQ(f.klMarcados.Count(), 0);
  EXPECT_EQ(f.control("nedCont").text(), "0");
  std::string opened;
  creators().CriaDescAdi = [&](double value, const std::string& customer,
                               const std::string& company, const std::string& number,
                               const std::string& branch, const std::string& kind) {
    opened = host::FormatFloat("0.00", value) + "|" + customer + "|" + company + "|" + number +
             "|" + branch + "|" + kind;
    // What the operator sees behind the screen is not marked yet.
    EXPECT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), "A");
    return host::mrCancel;
  };
  dialogs_->expectQuestion("adiantamento", true);
  f.dbgPadraoDblClick();
  EXPECT_EQ(opened.substr(opened.find('|')), "|000000000000000000102|04|0000000002|0001|0");
  // Its close marks the boleto, asking nothing again.
  EXPECT_EQ(f.cdsBoletos.valueOf("NRLANBOLREC").asString(), "0000000002");
  EXPECT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), "M");
  EXPECT_EQ(f.cdsMarca.recordCount(), 1u);
  EXPECT_EQ(f.control("nedCont").text(), "1");
  f.dbgPadraoDblClick();
  // Company 04 discounts returns: customer 105 has one open.
  go(f, "0002", "0000000003");
  dialogs_->expectQuestion("devolução", false);
  f.dbgPadraoDblClick();
  EXPECT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), "M");
}

TEST_F(Marking, ABoletoAlreadySentToTheBankAsksNothingWhenRemittanceCancelIsControlled) {
  auto& f = listed();
  go(f, "0001", "0000000002");
  setLocally(f, "IDSITUCNABR", host::Value("10"));
  {
    host::DetachedEvents noRules(f.cdsGeralRec);
    f.cdsGeralRec.edit();
    f.cdsGeralRec.fieldByName("IDUTCTRLCANREMR").setString("S");
    f.cdsGeralRec.post();
  }
  f.dbgPadraoDblClick();  // no question expected
  EXPECT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), "M");
}

TEST_F(Marking, MarkAllSkipsCustomersWithSomethingOpenExceptTypeTwoAndUnmarkAllReloads) {
  auto& f = listed();
  const size_t rows = f.cdsBoletos.recordCount();
  go(f, "0001", "0000000004");
  dialogs_->expectQuestion("Deseja marcar todos os boletos?", false);
  f.dbgPadraoTitleClick("IDMARCADO");
  EXPECT_EQ(markedRows(f), 0u);

  // Sorted by a column with many equal values: every row is still walked.
  f.dbgPadraoTitleClick("FTR_IDSTATBREC");
  dialogs_->expectQuestion("Deseja marcar todos os boletos?", true);
  f.dbgPadraoTitleClick("IDMARCADO");  // no advance or return question on the way
  EXPECT_EQ(f.cdsBoletos.indexFieldNames(), "FTR_IDSTATBREC");
  EXPECT_FALSE(dialogs_->waitShown());
  EXPECT_FALSE(f.bMarcaGeral);
  // Customer 102 has an advance (0001/2 stays out, 0001/7 is of type 2 and is marked);
  // customer 105 has a return (0001/3 and 0002/3 stay out).
  EXPECT_EQ(markedRows(f), rows - 3);
  EXPECT_EQ(f.cdsMarca.recordCount(), rows - 3);
  EXPECT_EQ(f.klMarcados.Count(), static_cast<int>(rows - 3));
  EXPECT_EQ(f.nMarcEmitidos + f.nMarcOutros, static_cast<int>(rows - 3));
  for (const auto& [branch, number, marked] : {std::tuple{"0001", "0000000002", false},
                                               {"0001", "0000000003", false},
                                               {"0002", "0000000003", false},
                                               {"0001", "0000000007", true}}) {
    go(f, branch, number);
    EXPECT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString() == "M", marked) << number;
  }
  double total = 0;
  for (size_t r = 1; r <= rows; ++r)
    if (f.cdsBoletos.valueAt(r, "IDMARCADO").asString() == "M")
      total = host::RoundDec(2, total + f.cdsBoletos.valueAt(r, "VRFINALBREC").asDouble());
  EXPECT_EQ(f.control("nedTotal").text(), host::FormatFloat("#,##0.00", total));
  // Association follows the marks once it is built; until then it stays disabled.
  EXPECT_EQ(f.control("sbtAssociar").enabled(), commandBuilt("mnuAssociar"));

  go(f, "0001", "0000000009");
  dialogs_->expectQuestion("Deseja desmarcar todos os boletos?", true);
  f.dbgPadraoTitleClick("IDMARCADO");
  EXPECT_EQ(markedRows(f), 0u);
  EXPECT_TRUE(f.cdsMarca.isEmpty());
  EXPECT_EQ(f.klMarcados.Count(), 0);
  EXPECT_EQ(f.klVencimentos.Count(), 0);
  EXPECT_EQ(f.nMarcEmitidos + f.nMarcOutros, 0);
  EXPECT_EQ(f.control("nedCont").text(), "0");
  EXPECT_EQ(f.cdsBoletos.valueOf("NRLANBOLREC").asString(), "0000000009");
}

TEST_F(Marking, SavedMarksComeBackAfterAReloadAndDesmarcaClearsTheListOnly) {
  auto& f = listed();
  go(f, "0001", "0000000001");
  f.Marca_Boleto(false, 'M');
  go(f, "0001", "0000000004");
  f.Marca_Boleto(false, 'M');
  f.cdsMarcaAux.copyDataFrom(f.cdsMarca);
  f.Fitro_Locate();
  EXPECT_EQ(markedRows(f), 0u);
  EXPECT_EQ(f.klMarcados.Count(), 0);
  f.Marca_Boletos_Aux("0001", "0000000004");
  EXPECT_EQ(markedRows(f), 2u);
  EXPECT_EQ(f.cdsMarca.recordCount(), 2u);
  EXPECT_EQ(f.klMarcados.Count(), 2);
  EXPECT_EQ(f.nMarcEmitidos, 1);
  EXPECT_EQ(f.nMarcOutros, 1);
  EXPECT_EQ(f.control("nedTotal").text(), "5.820,40");
  EXPECT_EQ(f.cdsBoletos.valueOf("NRLANBOLREC").asString(), "0000000004");

  f.GravaChaveBoletosMarcados("B");
  EXPECT_EQ(f.cdsChaveBol.recordCount(), 2u);
  EXPECT_EQ(f.cdsBoletos.valueOf("NRLANBOLREC").asString(), "0000000004");

  f.Desmarca_Boletos();
  EXPECT_EQ(markedRows(f), 0u);
  EXPECT_TRUE(f.cdsMarca.isEmpty());
  EXPECT_EQ(f.cdsBoletos.valueOf("NRLANBOLREC").asString(), "0000000004");
  EXPECT_EQ(f.cdsBoletos.changeCount(), 0);
}

TEST_F(Marking, TitlesSortTheListAndTheInstalmentTitleSortsByNumber) {
  auto& f = listed();
  f.dbgPadraoTitleClick("FTR_NMRAZSOCCLIE");
  EXPECT_EQ(f.cdsBoletos.indexFieldNames(), "FTR_NMRAZSOCCLIE");
  f.dbgPadraoTitleClick("FTR_NRPARCBOLREC");
  EXPECT_EQ(f.cdsBoletos.indexFieldNames(), "FTR_PARCNUM");
  // Instalment 2 comes before 10 even when the text says otherwise.
  go(f, "0001", "0000000001");
  setLocally(f, "FTR_NRPARCBOLREC", host::Value("2"));
  setLocally(f, "FTR_PARCNUM", host::Value(2.0));
  double last = -1;
  for (size_t r = 1; r <= f.cdsBoletos.recordCount(); ++r) {
    const double p = f.cdsBoletos.valueAt(r, "FTR_PARCNUM").asDouble();
    EXPECT_GE(p, last);
    last = p;
  }
}

TEST_F(Marking, KeysOfTheList) {
  auto& f = listed();
  go(f, "0001", "0000000001");
  GridKey key = GridKey::Delete;
  f.dbgPadraoKeyDown(key, {.ctrl = true});
  EXPECT_EQ(key, GridKey::None);
  key = GridKey::Insert;
  f.dbgCntReceberKeyDown(key, {});
  EXPECT_EQ(key, GridKey::None);
  // Space on the description column edits the boleto instead of marking it.
  f.dbgPadraoColEnter("FTR_DSBOLETREC");
  EXPECT_TRUE(f.columnEditing);
  f.dbgPadraoKeyPress(' ');
  EXPECT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), "");
  EXPECT_EQ(f.cdsBoletos.state(), host::DatasetState::Edit);
  EXPECT_TRUE(f.control("sbtConfirmar").enabled());
  EXPECT_TRUE(f.control("sbtCancelar").enabled());
  EXPECT_FALSE(f.control("sbtAlterar").enabled());
  EXPECT_FALSE(f.control("sbtImprimir").enabled());
  EXPECT_FALSE(f.control("pnlEmpresa").enabled());
  EXPECT_FALSE(f.control("tshDadosRec").enabled());
  f.cdsBoletos.cancel();
  f.dbgPadraoColEnter("FTR_NMRAZSOCCLIE");
  EXPECT_FALSE(f.columnEditing);
  f.dbgPadraoKeyPress(' ');
  EXPECT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), "M");
}

TEST_F(Marking, TheCreditNoteOfferIsForTheBoletoJustMarked) {
  auto& f = listed();
  std::vector<std::string> asked;
  creators().NFDebitoCred = [&](const std::string& customer, const std::string& company) {
    asked.push_back(customer + "@" + company);
    return customer == kCustomer101;
  };
  std::string opened;
  creators().CriaImpNFCred = [&](const std::string& branch, const std::string& number,
                                 const std::string&, const std::string&, double value) {
    opened = branch + number + "=" + host::FormatFloat("0.00", value);
    return host::mrCancel;
  };
  go(f, "0001", "0000000004");
  f.dbgPadraoDblClick();
  go(f, "0001", "0000000001");
  f.dbgPadraoDblClick();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1], kCustomer101 + "@04");
  EXPECT_EQ(opened, "00010000000001=1520,40");
  EXPECT_EQ(markedRows(f), 2u);
}

TEST_F(Marking, ThePrintOrderFollowsTheSettingAndAListSortedByTitle) {
  auto& f = listed();
  ASSERT_TRUE(f.cdsBolEmitOrd.active());
  // Emission rows in an order that is neither by customer nor by due date.
  for (const auto& [name, due] : {std::pair{"Zeta", 3}, {"Alfa", 9}, {"Meio", 1}}) {
    f.cdsBolEmitOrd.append();
    f.cdsBolEmitOrd.fieldByName("FTR_NMRAZSOCCLIE").setString(name);
    f.cdsBolEmitOrd.fieldByName("FTR_DTVENBOLREC").setDate(host::DateTime::fromYmd(2026, 4, due));
    f.cdsBolEmitOrd.post();
  }
  const auto first = [&] {
    f.cdsBolEmitOrd.first();
    return f.cdsBolEmitOrd.valueOf("FTR_NMRAZSOCCLIE").asString();
  };
  const auto setting = [&](const char* code) {
    host::DetachedEvents noRules(f.cdsGeralRec);
    f.cdsGeralRec.edit();
    f.cdsGeralRec.fieldByName("IDORDIMPRBOL").setString(code);
    f.cdsGeralRec.post();
  };
  setting("V");
  f.AplicaOrdemImpres();
  EXPECT_EQ(first(), "Meio");
  setting("X");
  f.AplicaOrdemImpres();
  EXPECT_EQ(f.cdsBolEmitOrd.indexName(), "OrdImprVenc");
  setting("");
  f.dbgPadraoTitleClick("FTR_NMRAZSOCCLIE");
  f.AplicaOrdemImpres();
  EXPECT_EQ(first(), "Alfa");
  // Not sorted by a title: the columns as arranged, due date first.
  f.cdsBoletos.setIndexFieldNames("");
  f.AplicaOrdemImpres();
  EXPECT_EQ(f.cdsBolEmitOrd.indexName(), "OrdImprTela");
  EXPECT_EQ(first(), "Meio");
}

TEST_F(Marking, TheServiceFindsOpenAdvancesAndReturnsOnlyForTheCustomersOfTheList) {
  auto& f = listed();
  const auto call = [&](nlohmann::json packet, const char* returns) {
    return f.connection().call("GetBolCliDevoAdian",
                               {remote::Variant::packet(std::move(packet)), returns});
  };
  const nlohmann::json fields = nlohmann::json::array({{{"name", "CDFILIAL"}, {"type", "S"}},
                                                       {{"name", "NRLANBOLREC"}, {"type", "S"}},
                                                       {{"name", "CDEMPRESA"}, {"type", "S"}},
                                                       {{"name", "CDCLIENTE"}, {"type", "S"}}});
  nlohmann::json list{{"fields", fields},
                      {"rows",
                       {{"0001", "0000000001", "04", kCustomer101},
                        {"0001", "0000000002", "04", "000000000000000000102"},
                        {"0002", "0000000003", "04", "000000000000000000105"}}}};
  auto r = call(list, "N");
  ASSERT_TRUE(r.reply.ok()) << r.reply.text;
  const auto only = nlohmann::json::array({nlohmann::json::array({"0001", "0000000002"})});
  EXPECT_EQ(r.reply.result.packetJson()["rows"], only);
  r = call(list, "S");
  ASSERT_TRUE(r.reply.ok()) << r.reply.text;
  EXPECT_EQ(r.reply.result.packetJson()["rows"].size(), 2u);
  // Without the customers there is nothing to answer from.
  list["fields"].erase(3);
  for (auto& row : list["rows"]) row.erase(3);
  r = call(list, "S");
  EXPECT_EQ(r.reply.key, "ARG_INVALIDO");
}

TEST_F(Marking, TheGridsCarryTheListsRulesAndEventsToTheScreen) {
  auto& f = listed();
  auto& list = f.grid("dbgPadrao");
  ASSERT_EQ(list.dataset(), &f.cdsBoletos);
  EXPECT_EQ(f.grid("dbgCntReceber").dataset(), &f.cdsCntReceber);
  const auto* status = list.displayRule("FTR_IDSTATBREC");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ((*status)(host::Value("D")), "Descontado");
  EXPECT_EQ((*list.displayRule("FTR_IDSITUCNABR"))(host::Value("90")), "Baixado via CNAB");

  // The operator moves to a boleto and presses space: it is marked and counted.
  const size_t rows = f.cdsBoletos.recordCount();
  const auto rowOf4 = [&] {  // the list's row of boleto 0001/4, wherever a reload put it
    for (size_t r = 1; r <= rows; ++r) {
      if (f.cdsBoletos.valueAt(r, "NRLANBOLREC").asString() == "0000000004" &&
          f.cdsBoletos.valueAt(r, "CDFILIAL").asString() == "0001") {
        return r;
      }
    }
    return size_t{0};
  };
  ASSERT_NE(rowOf4(), 0u);
  f.cdsBoletos.first();
  list.rowMoved(rowOf4());
  EXPECT_EQ(f.current("NRLANBOLREC").asString(), "0000000004");
  list.keyPress(' ');
  EXPECT_EQ(markedRows(f), 1u);
  EXPECT_EQ(f.control("nedCont").text(), "1");

  // Mark all from the mark column's title, after a "Sim".
  dialogs_->expectQuestion("Deseja desmarcar todos os boletos?", false);
  list.titleClick("IDMARCADO");  // one is marked: the question is to unmark
  EXPECT_EQ(markedRows(f), 1u);
  dialogs_->expectQuestion("Deseja desmarcar todos os boletos?", true);
  list.titleClick("IDMARCADO");
  EXPECT_EQ(markedRows(f), 0u);
  dialogs_->expectQuestion("Deseja marcar todos os boletos?", true);
  list.titleClick("IDMARCADO");
  EXPECT_EQ(markedRows(f), rows - 3);
  EXPECT_EQ(f.control("nedCont").text(), std::to_string(rows - 3));
  const std::string allTotal = f.control("nedTotal").text();

  // A double click unmarks the current boleto again, and the totals follow.
  f.cdsBoletos.first();
  list.rowMoved(rowOf4());
  EXPECT_EQ(f.current("NRLANBOLREC").asString(), "0000000004");
  list.dblClick();
  EXPECT_EQ(markedRows(f), rows - 4);
  EXPECT_EQ(f.control("nedCont").text(), std::to_string(rows - 4));
  EXPECT_NE(f.control("nedTotal").text(), allTotal);

  // Keys: Ctrl+Delete is swallowed in both grids, Insert beside the list only.
  GridKey key = GridKey::Delete;
  list.keyDown(key, {.ctrl = true});
  EXPECT_EQ(key, GridKey::None);
  key = GridKey::Insert;
  list.keyDown(key, {});
  EXPECT_EQ(key, GridKey::Insert);
  f.grid("dbgCntReceber").keyDown(key, {});
  EXPECT_EQ(key, GridKey::None);

  // Entering the description column lets a key put the boleto into editing.
  list.colEnter("FTR_DSBOLETREC");
  EXPECT_TRUE(f.columnEditing);
  list.keyPress('x');
  EXPECT_EQ(f.cdsBoletos.state(), host::DatasetState::Edit);
  EXPECT_EQ(markedRows(f), rows - 4);
}
