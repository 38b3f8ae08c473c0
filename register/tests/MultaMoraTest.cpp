// Fine and daily interest: the value of a percentage (the rounding that decides centavos),
// the typing and leaving rules of the "Multa/Mora" page, the negative checks before a post,
// and the copy to the marked boletos.

#include <cmath>
#include <map>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "records/Tables.h"
#include "register/MultaMora.h"
#include "register/tests/RegisterFixture.h"

using namespace rec;
using host::Value;
using rec::testing::keyOf;
using rec::testing::RegisterFixture;

namespace {

TEST(CalcMultaMora, KnownAnswersRoundTheAmountTheRateAndTheResult) {
  struct Case {
    double amount, percentage, value;
  } const cases[] = {
      {1000.00, 2, 20.00},
      {333.33, 0.033, 0.11},   // 0.1099989
      {10.005, 50, 5.01},      // the amount is 10.01 before the rate applies
      {100.00, 0.0449, 0.05},  // the rate is 0.045: 0.045 rounds up to 0.05, not 0.04
      {12.50, 1, 0.13},        // an exact half goes away from zero
      {1.005, 100, 1.01},      // 1.005 as typed, not as the double stores it
      {2.675, 100, 2.68},
      {1520.40, 0.033, 0.50},  // 0.501732
      {999999999.99, 999.999, 9999989999.90},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(Calc_Multa_Mora(c.amount, c.percentage), c.value)
        << c.amount << " at " << c.percentage << "%";
    // Summed in centavos, the value is a whole number of them.
    const double centavos = Calc_Multa_Mora(c.amount, c.percentage) * 100;
    EXPECT_NEAR(centavos, std::round(centavos), 1e-6);
  }
}

TEST(CalcMultaMora, NoPositivePercentageGivesNothing) {
  EXPECT_EQ(Calc_Multa_Mora(1000, 0), 0);
  EXPECT_EQ(Calc_Multa_Mora(1000, -2), 0);
  EXPECT_EQ(Calc_Multa_Mora(1000, std::nan("")), 0);
  EXPECT_EQ(Calc_Multa_Mora(1000, 0.0004), 0) << "0.0004 % is 0.000 % once rounded";
}

class MultaMora : public RegisterFixture {
 public:
  TfrmHabContRec& editing(const char* number = "0000000001") {
    auto& f = listed();
    EXPECT_TRUE(f.cdsBoletos.locate(records::kBoletoKeyFields, {Value("0001"), Value(number)}));
    f.Alterar();
    EXPECT_TRUE(f.listEditing());
    return f;
  }
  static double value(TfrmHabContRec& f, const char* field) {
    return f.cdsBoletos.valueOf(field).asDouble();
  }
  /// Marks boletos as the marking leaves them: the list's mark and a copy in cdsMarca.
  static void markAs(TfrmHabContRec& f, const std::vector<const char*>& numbers) {
    host::DetachedEvents noRules(f.cdsBoletos);
    for (const char* n : numbers) {
      ASSERT_TRUE(f.cdsBoletos.locate(records::kBoletoKeyFields, {Value("0001"), Value(n)}));
      f.cdsBoletos.edit();
      f.cdsBoletos.fieldByName("IDMARCADO").setString("M");
      f.cdsBoletos.post();
      f.cdsBoletos.mergeChangeLog();
      f.cdsMarca.append();
      for (const auto& def : f.cdsMarca.fieldDefs()) {
        f.cdsMarca.fieldByName(def.name).setValue(f.cdsBoletos.valueOf(def.name));
      }
      f.cdsMarca.post();
    }
  }
  /// Types a whole text and leaves the field, as the desktop reports it.
  void typeAndLeave(TfrmHabContRec& f, const char* control, const std::string& text) {
    f.control(control).setFocus();
    f.control(control).type(text);
    f.focusList();
  }
};

}  // namespace

TEST_F(MultaMora, ThePageShowsTheBoletosFineAndInterest) {
  auto& f = listed();
  ASSERT_TRUE(f.cdsBoletos.locate(records::kBoletoKeyFields, {Value("0001"), Value("0000000001")}));
  EXPECT_EQ(f.control("dbePeMulta").text(), "2,000");
  EXPECT_EQ(f.control("dbePeMora").text(), "0,033");
  EXPECT_EQ(f.control("dbeVrMulta").text(), host::FormatBr(value(f, "VRMULTABREC"), 2));
  EXPECT_EQ(f.control("lblPeMulta").caption(), "Multa (%)");
  EXPECT_EQ(f.control("lblVrMora").caption(), "Mora Diário (Valor)");
}

TEST_F(MultaMora, KeysPlusAndMinusAndDigitsBeyondTheLimitsAreRefused) {
  auto& f = editing();
  f.control("dbePeMulta").setText("123");
  EXPECT_EQ(f.MultaMoraKeyPress("dbePeMulta", '-', 0, 0), '\0');
  EXPECT_EQ(f.MultaMoraKeyPress("dbePeMulta", '+', 3, 0), '\0');
  EXPECT_EQ(f.MultaMoraKeyPress("dbePeMulta", '4', 3, 0), '\0') << "3 integer digits at most";
  EXPECT_EQ(f.MultaMoraKeyPress("dbePeMulta", ',', 3, 0), ',');
  f.control("dbePeMulta").setText("1,234");
  EXPECT_EQ(f.MultaMoraKeyPress("dbePeMulta", '5', 5, 0), '\0') << "3 decimals at most";
  EXPECT_EQ(f.MultaMoraKeyPress("dbePeMulta", '9', 0, 1), '9') << "replacing the selection";
  f.control("dbeVrMulta").setText("123456789");
  EXPECT_EQ(f.MultaMoraKeyPress("dbeVrMulta", '0', 9, 0), '\0') << "9 integer digits at most";
  f.control("dbeVrMulta").setText("1,23");
  EXPECT_EQ(f.MultaMoraKeyPress("dbeVrMulta", '4', 4, 0), '\0') << "2 decimals at most";
  EXPECT_EQ(f.MultaMoraKeyPress("dbeVrMora", '-', 0, 0), '\0');

  // A whole text with a minus typed in loses the minus, as the key would; one beyond the
  // field's digits is refused and the boleto keeps its value.
  const double before = value(f, "VRPEMORBREC");
  EXPECT_EQ(keyOf([&] { f.control("dbePeMora").type("1234,5"); }), "NUM_LIMITE");
  EXPECT_DOUBLE_EQ(value(f, "VRPEMORBREC"), before);
  EXPECT_EQ(keyOf([&] { f.control("dbePeMora").type("abc"); }), "NUM_INV");
  f.control("dbePeMora").type("-1,5");
  EXPECT_DOUBLE_EQ(value(f, "VRPEMORBREC"), 1.5);
}

TEST_F(MultaMora, AKeyClearsThePartnerAndLeavingThePercentageDerivesTheValue) {
  auto& f = editing();
  const double net = value(f, "VRFINALBREC");
  ASSERT_GT(value(f, "VRMULTABREC"), 0);
  // A key in the fine percentage clears the fine value.
  f.control("dbePeMulta").setText("");
  EXPECT_EQ(f.MultaMoraKeyPress("dbePeMulta", '3', 0, 0), '3');
  EXPECT_EQ(value(f, "VRMULTABREC"), 0);
  typeAndLeave(f, "dbePeMulta", "3");
  EXPECT_DOUBLE_EQ(value(f, "VRPEMULBREC"), 3);
  EXPECT_DOUBLE_EQ(value(f, "VRMULTABREC"), Calc_Multa_Mora(net, 3));
  EXPECT_EQ(f.control("dbeVrMulta").text(), host::FormatBr(Calc_Multa_Mora(net, 3), 2));

  // A fine value typed after the percentage sets the percentage to 0; leaving keeps the value.
  typeAndLeave(f, "dbeVrMulta", "12,34");
  EXPECT_EQ(value(f, "VRPEMULBREC"), 0);
  EXPECT_DOUBLE_EQ(value(f, "VRMULTABREC"), 12.34);
  // Leaving a zero percentage leaves the typed value untouched.
  f.dbePeMultaExit();
  EXPECT_DOUBLE_EQ(value(f, "VRMULTABREC"), 12.34);

  // The interest: a percentage per day of the net value.
  typeAndLeave(f, "dbePeMora", "0,033");
  EXPECT_DOUBLE_EQ(value(f, "VRMORDIABREC"), Calc_Multa_Mora(net, 0.033));
  typeAndLeave(f, "dbeVrMora", "1");
  EXPECT_EQ(value(f, "VRPEMORBREC"), 0);
  EXPECT_DOUBLE_EQ(value(f, "VRMORDIABREC"), 1);
}

TEST_F(MultaMora, ANegativeValueIsRefusedOnLeavingAndBeforeEveryPostInOrder) {
  auto& f = editing();
  f.cdsBoletos.fieldByName("VRMULTABREC").setFloat(-1);
  EXPECT_EQ(keyOf([&] { f.dbeVrMultaExit(); }), "V_MU_NEGA");
  EXPECT_TRUE(f.pageControl("pgcDadosRec").isShown("tshMultaMora"));
  EXPECT_TRUE(f.control("dbeVrMulta").focused());

  f.cdsBoletos.fieldByName("VRPEMORBREC").setFloat(-0.5);
  f.cdsBoletos.fieldByName("VRMORDIABREC").setFloat(-2);
  // The fine value comes first, the interest percentage before its value.
  EXPECT_EQ(keyOf([&] { f.cdsBoletos.post(); }), "V_MU_NEGA");
  f.cdsBoletos.fieldByName("VRMULTABREC").setFloat(0);
  EXPECT_EQ(keyOf([&] { f.cdsBoletos.post(); }), "P_MO_NEGA");
  try {
    f.cdsBoletos.post();
  } catch (const host::OperationError& e) {
    EXPECT_STREQ(e.what(), "Mora diária (%) deve ser maior ou igual a zero.");
  }
  f.cdsBoletos.fieldByName("VRPEMORBREC").setFloat(0);
  EXPECT_EQ(keyOf([&] { f.cdsBoletos.post(); }), "V_MO_NEGA");
  EXPECT_TRUE(f.listEditing()) << "a refused post keeps the edit";
  // Outside an edit nothing is checked.
  f.cdsBoletos.cancel();
  EXPECT_EQ(keyOf([&] { f.Vd_DadoBoleto("P", "MU"); }), "<none>");
}

TEST_F(MultaMora, ReplicationCopiesThePercentagesAndDerivesEachBoletosOwnValues) {
  auto& f = listed();
  // Three marked boletos of different net values, each with its own fine value.
  markAs(f, {"0000000001", "0000000002", "0000000008"});
  ASSERT_EQ(f.cdsMarca.recordCount(), 3u);
  std::map<std::string, std::pair<double, double>> before;  // net, fine value
  for (f.cdsMarca.first(); !f.cdsMarca.eof(); f.cdsMarca.next()) {
    before[f.cdsMarca.valueOf("NRLANBOLREC").asString()] = {
        f.cdsMarca.valueOf("VRFINALBREC").asDouble(), f.cdsMarca.valueOf("VRMULTABREC").asDouble()};
  }
  // The position: fine 0 % with a fixed value, interest 1 %.
  f.cdsPosicao.setFieldDefs(records::cdsPosicao().fields());
  f.cdsPosicao.createDataset();
  f.cdsPosicao.append();
  f.cdsPosicao.fieldByName("VRPEMULBREC").setFloat(0);
  f.cdsPosicao.fieldByName("VRMULTABREC").setFloat(7.5);
  f.cdsPosicao.fieldByName("VRPEMORBREC").setFloat(1);
  f.cdsPosicao.post();
  f.Atualiza_Multa_Mora();
  for (f.cdsMarca.first(); !f.cdsMarca.eof(); f.cdsMarca.next()) {
    const auto& [net, fineValue] = before[f.cdsMarca.valueOf("NRLANBOLREC").asString()];
    EXPECT_EQ(f.cdsMarca.valueOf("VRPEMULBREC").asDouble(), 0);
    EXPECT_DOUBLE_EQ(f.cdsMarca.valueOf("VRMULTABREC").asDouble(), fineValue)
        << "a zero percentage keeps each boleto's own value";
    EXPECT_DOUBLE_EQ(f.cdsMarca.valueOf("VRPEMORBREC").asDouble(), 1);
    EXPECT_DOUBLE_EQ(f.cdsMarca.valueOf("VRMORDIABREC").asDouble(), Calc_Multa_Mora(net, 1));
  }
}
