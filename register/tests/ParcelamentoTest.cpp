// The "Parcelamento" page and "Cancelar Boleto" driven as the operator does, against the
// seeded service: a split is stored only when it adds up to the centavo, deleting the last
// instalment gives back exactly the boleto that was split, and a cancelled emission keeps the
// codes the bank may hold.

#include <cmath>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "records/Tables.h"
#include "register/tests/RegisterFixture.h"

using namespace rec;
using host::Value;
using rec::testing::keyOf;
using rec::testing::RegisterFixture;

namespace {

class Parcelamento : public RegisterFixture {
 protected:
  void go(TfrmHabContRec& f, const char* number) {
    ASSERT_TRUE(f.cdsBoletos.locate(records::kBoletoKeyFields, {Value("0001"), Value(number)}))
        << number;
  }
  TfrmHabContRec& onInstalmentsOf(const char* number) {
    auto& f = listed();
    go(f, number);
    f.control("mnuParcelamento").click();
    EXPECT_TRUE(f.pageControl("pgcPadrao").isShown("tshParcelamento"));
    return f;
  }
  std::string stored(const std::string& column, const std::string& number) {
    std::string v;
    soci::indicator ind = soci::i_null;
    svc_->db->session() << "SELECT " + column +
                               " FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC = :n",
        soci::use(number), soci::into(v, ind);
    return ind == soci::i_ok ? v : "<null>";
  }
  int64_t storedCentavos(const std::string& query) {
    double v = 0;
    soci::indicator ind = soci::i_null;
    svc_->db->session() << query, soci::into(v, ind);
    return std::llround(v * 100.0);
  }
  static void setValue(TfrmHabContRec& f, double value) {
    f.cdsParcelamento.fieldByName("VRFINALBREC").setFloat(value);
  }
  static void setReason(TfrmHabContRec& f, const char* code) {
    f.cdsParcelamento.fieldByName("CDMOTIPARC").setString(code);
  }
};

}  // namespace

TEST_F(Parcelamento, ASplitIsStoredOnlyWhenItAddsUpAndDeletingTheLastInstalmentRestoresTheBoleto) {
  auto& f = onInstalmentsOf("0000000001");
  const int boletos = count("SELECT COUNT(*) FROM BOLRECEBER");
  const int64_t original = storedCentavos(
      "SELECT VRFINALBREC FROM BOLRECEBER WHERE CDFILIAL = '0001' AND "
      "NRLANBOLREC = '0000000001'");
  const std::string gross = stored("VRBOLREC", "0000000001");
  const std::string instalment = stored("NRPARCBOLREC", "0000000001");
  ASSERT_EQ(f.cdsParcelamento.recordCount(), 1u);
  EXPECT_EQ(f.cdsParcelamento.valueOf("NRPARCBOLRECVISU").asString(), "00");
  EXPECT_FALSE(f.control("mnuExcluir").enabled()) << "one instalment: nothing to delete";

  // Editing the boleto never split makes it instalment "01" of its own origin.
  f.Alterar();
  ASSERT_TRUE(f.instalmentsEditing());
  EXPECT_EQ(f.cdsParcelamento.valueOf("NRPARCBOLRECVISU").asString(), "01");
  EXPECT_EQ(f.cdsParcelamento.valueOf("NRORIGBOLREC").asString(), "0000000001");
  EXPECT_FALSE(f.control("mnuFiltrar").enabled());
  EXPECT_FALSE(f.control("pnlEmpresa").enabled()) << "the register is in its edit state";
  setValue(f, 1000.00);
  // A reason is required.
  EXPECT_EQ(keyOf([&] { f.cdsParcelamento.post(); }), "Motiparc_ni");
  setReason(f, "01");
  f.cdsParcelamento.post();
  EXPECT_DOUBLE_EQ(f.instalmentDifference, 520.40);
  EXPECT_TRUE(f.control("mnuConfirmar").enabled()) << "a posted instalment waits for confirmation";

  // The new instalment proposes what is left, numbered "02", due with "01".
  f.IncluiParcela();
  EXPECT_EQ(f.cdsParcelamento.valueOf("NRPARCBOLRECVISU").asString(), "02");
  EXPECT_DOUBLE_EQ(f.cdsParcelamento.valueOf("VRFINALBREC").asDouble(), 520.40);
  EXPECT_EQ(f.cdsParcelamento.valueOf("DTVENBOLREC").asDate(),
            f.cdsParcelamento.valueAt(1, "DTVENBOLREC").asDate());
  setReason(f, "01");
  setValue(f, 600.00);
  EXPECT_EQ(keyOf([&] { f.cdsParcelamento.post(); }), "SomaParcIgualBolOrig");
  // One centavo left out: posted, but never confirmed.
  setValue(f, 520.39);
  f.cdsParcelamento.post();
  EXPECT_EQ(keyOf([&] { f.Confirmar(); }), "SomaParcIgualBolOrig");
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER"), boletos) << "nothing stored";
  EXPECT_EQ(stored("NRORIGBOLREC", "0000000001"), "<null>");
  // Nothing left to distribute would refuse another instalment; one centavo is left here.
  f.cdsParcelamento.last();
  f.cdsParcelamento.edit();
  setValue(f, 520.40);
  f.cdsParcelamento.post();
  EXPECT_EQ(keyOf([&] { f.IncluiParcela(); }), "SumParcValTot");
  f.Confirmar();

  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER"), boletos + 1);
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRORIGBOLREC = "
                  "'0000000001'"),
            2);
  EXPECT_EQ(storedCentavos("SELECT SUM(VRFINALBREC) FROM BOLRECEBER WHERE CDFILIAL = '0001' AND "
                           "NRORIGBOLREC = '0000000001'"),
            original)
      << "the instalments add up to the boleto to the centavo";
  EXPECT_EQ(stored("NRPARCBOLREC", "0000000001"), "01");
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRORIGBOLREC = "
                  "'0000000001' AND NRPARCBOLREC = '02' AND CDNOSNUMREC IS NULL AND "
                  "CDBARRAREC IS NULL AND IDSTATBREC = 'A'"),
            1)
      << "a new instalment carries no code of the boleto it came from";
  EXPECT_TRUE(f.control("pnlEmpresa").enabled());

  // Deleting the last instalment gives its value back: the boleto as it was.
  f.control("mnuParcelamento").click();
  ASSERT_EQ(f.cdsParcelamento.recordCount(), 2u);
  dialogs_->expectQuestion("exclusão da última parcela", true);
  f.Excluir();
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER"), boletos);
  EXPECT_EQ(storedCentavos("SELECT VRFINALBREC FROM BOLRECEBER WHERE CDFILIAL = '0001' AND "
                           "NRLANBOLREC = '0000000001'"),
            original);
  EXPECT_EQ(stored("VRBOLREC", "0000000001"), gross);
  EXPECT_EQ(stored("NRORIGBOLREC", "0000000001"), "<null>");
  EXPECT_EQ(stored("NRPARCBOLREC", "0000000001"), instalment);
  EXPECT_EQ(stored("CDMOTIPARC", "0000000001"), "<null>");
  // And the only instalment left is the original.
  EXPECT_EQ(keyOf([&] { f.ExcluiParcela(); }), "ParcOrigNaoExc");
}

TEST_F(Parcelamento, OnlyTheLastInstalmentChangesAndDueDatesFollowTheirOrder) {
  auto& f = onInstalmentsOf("0000000001");
  f.Alterar();
  setReason(f, "01");
  setValue(f, 500.00);
  f.cdsParcelamento.post();
  f.IncluiParcela();
  setReason(f, "01");
  setValue(f, 500.00);
  f.cdsParcelamento.fieldByName("DTVENBOLREC").setDate(host::DateTime::fromYmd(2026, 6, 1));
  f.cdsParcelamento.post();
  f.IncluiParcela();
  EXPECT_EQ(f.cdsParcelamento.valueOf("NRPARCBOLRECVISU").asString(), "03");
  EXPECT_DOUBLE_EQ(f.cdsParcelamento.valueOf("VRFINALBREC").asDouble(), 520.40);
  setReason(f, "01");
  f.cdsParcelamento.fieldByName("DTVENBOLREC").setDate(host::DateTime::fromYmd(2026, 5, 1));
  EXPECT_EQ(keyOf([&] { f.cdsParcelamento.post(); }), "DTPARC_INV");
  f.cdsParcelamento.fieldByName("DTVENBOLREC").setDate(host::DateTime::fromYmd(2026, 7, 1));
  f.cdsParcelamento.post();
  f.Confirmar();
  ASSERT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE NRORIGBOLREC = '0000000001'"), 3);

  f.control("mnuParcelamento").click();
  ASSERT_EQ(f.cdsParcelamento.recordCount(), 3u);
  // Instalment "01" of three cannot change; the last one can.
  f.cdsParcelamento.first();
  EXPECT_THROW(f.cdsParcelamento.edit(), host::OperationAborted);
  EXPECT_FALSE(f.instalmentsEditing());
  f.cdsParcelamento.last();
  f.cdsParcelamento.edit();
  EXPECT_TRUE(f.instalmentsEditing());
  dialogs_->expectQuestion("Cancelar operação?", true);
  f.Cancelar();
  EXPECT_FALSE(f.instalmentsEditing());
  EXPECT_EQ(f.instalmentDifference, 0);
}

TEST_F(Parcelamento, CancellingAnEmissionKeepsItsCodesAndEmptiesTheMarks) {
  auto& f = listed();
  // The first emitted boleto of the list with a nosso número.
  size_t row = 0;
  for (size_t r = 1; r <= f.cdsBoletos.recordCount(); ++r) {
    if (f.cdsBoletos.valueAt(r, "IDSTATBREC").asString() == "E" &&
        !f.cdsBoletos.valueAt(r, "CDNOSNUMREC").asString().empty() &&
        f.cdsBoletos.valueAt(r, "CDFILIAL").asString() == "0001" &&
        host::AllTrim(f.cdsBoletos.valueAt(r, "IDSITUCNABR").asString()).size() <= 2 &&
        (f.cdsBoletos.valueAt(r, "IDSITUCNABR").asString() == "00" ||
         f.cdsBoletos.valueAt(r, "IDSITUCNABR").asString().empty())) {
      row = r;
      break;
    }
  }
  ASSERT_NE(row, 0u) << "the demo has an emitted boleto in no remittance";
  f.cdsBoletos.setRecNo(row);
  const std::string number = f.cdsBoletos.valueOf("NRLANBOLREC").asString();
  const std::string nn = stored("CDNOSNUMREC", number);
  const std::string barcode = stored("CDBARRAREC", number);

  EXPECT_EQ(keyOf([&] { f.sbtCancelaBolClick(); }), "BOL_NC");
  f.Marca_Boleto(false, 'M');
  ASSERT_EQ(f.cdsMarca.recordCount(), 1u);
  dialogs_->expectQuestion("cancelamento dos boletos marcados", true);
  dialogs_->expectQuestion("manter o nosso número", false);
  f.sbtCancelaBolClick();
  EXPECT_EQ(stored("IDSTATBREC", number), "A");
  EXPECT_EQ(stored("CDNOSNUMREC", number), nn) << "a bank may still hold the number";
  EXPECT_EQ(stored("CDBARRAREC", number), barcode);
  EXPECT_TRUE(f.cdsMarca.isEmpty());
  EXPECT_EQ(f.cdsBoletos.valueOf("NRLANBOLREC").asString(), number)
      << "the list is back on the boleto";
}
