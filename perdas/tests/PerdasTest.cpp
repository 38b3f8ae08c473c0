// The write-off by loss over the register, against the seeded service: the marked boletos are
// written off whole with their receivables, or (a refusal) not at all with the marks kept.

#include <cmath>

#include "host/Consiste.h"
#include "perdas/Cli_rec14002.h"
#include "records/Tables.h"
#include "register/tests/RegisterFixture.h"

using namespace rec;
using host::Value;
using rec::testing::keyOf;
using rec::testing::RegisterFixture;

namespace {

class Perdas : public RegisterFixture {
 protected:
  void mark(TfrmHabContRec& f, const char* number) {
    ASSERT_TRUE(f.cdsBoletos.locate(records::kBoletoKeyFields, {Value("0001"), Value(number)}));
    // Marked as mark all does, without the advance and return questions.
    f.bMarcaGeral = true;
    f.Marca_Boleto(false, 'M');
    f.bMarcaGeral = false;
  }
  std::string stored(const std::string& column, const std::string& number) {
    std::string v;
    soci::indicator ind = soci::i_null;
    svc_->db->session() << "SELECT " + column +
                               " FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC = :n",
        soci::use(number), soci::into(v, ind);
    return ind == soci::i_ok ? v : "<null>";
  }
  static void fill(TfrmPerdas& p, const std::string& date) {
    p.control("edtCDTPBAIXAREC").type("2");
    p.control("edtCDREDUCONT").type("1");
    p.control("edtDtBaixa").type(date);
  }
};

}  // namespace

TEST_F(Perdas, TheMarkedBoletosAreWrittenOffWholeAndNoMarkStays) {
  auto& f = listed();
  mark(f, "0000000001");
  mark(f, "0000000002");
  int64_t expected = 0;
  for (size_t r = 1; r <= f.cdsMarca.recordCount(); ++r)
    expected +=
        std::llround(host::RoundDec(2, f.cdsMarca.valueAt(r, "VRFINALBREC").asDouble()) * 100);
  int64_t total = -1;
  std::vector<std::string> refusals;
  screens_->onModal("TfrmPerdas", [&](host::ScreenModel& s) {
    auto& p = dynamic_cast<TfrmPerdas&>(s);
    total = p.totalCentavos();
    refusals.push_back(keyOf([&] { p.Confirmar(); }));
    p.control("edtCDREDUCONT").type("999");
    refusals.push_back(keyOf([&] { p.Confirmar(); }));
    p.control("edtCDREDUCONT").type("1");
    refusals.push_back(keyOf([&] { p.Confirmar(); }));
    p.control("edtDtBaixa").type("02/03/2026");
    p.control("edtCDTPBAIXAREC").type("77");
    refusals.push_back(keyOf([&] { p.Confirmar(); }));
    refusals.push_back(keyOf([&] { p.control("edtCDREDUCONT").setFocus(); }));
    fill(p, "02/03/2026");
    p.control("sbtConfirmar").click();
  });
  dialogs_->expectInformation("A baixa foi realizada com sucesso.");
  EXPECT_EQ(CriaBaixa_Perda("04"), host::mrOk);
  EXPECT_EQ(total, expected);
  EXPECT_EQ(refusals, (std::vector<std::string>{"CCC_INF", "CCC_N_CAD", "DATA_INF", "TPBX_N_CAD",
                                                "TPBX_N_CAD"}));
  for (const char* n : {"0000000001", "0000000002"}) {
    EXPECT_EQ(stored("IDSTATBREC", n), "B") << n;
    EXPECT_EQ(stored("CDTPBAIXAREC", n), "02") << n;
  }
  EXPECT_EQ(count("SELECT COUNT(*) FROM BAIXAPERDA WHERE NRPERIODO = '202603' AND QTBOLETOS = 2"),
            1);
  EXPECT_TRUE(f.cdsMarca.isEmpty());
  for (size_t r = 1; r <= f.cdsBoletos.recordCount(); ++r)
    EXPECT_NE(f.cdsBoletos.valueAt(r, "IDMARCADO").asString(), "M");
}

TEST_F(Perdas, ARefusedWriteOffKeepsTheMarksAndWritesNothing) {
  auto& f = listed();
  mark(f, "0000000001");
  mark(f, "0000000002");
  // Someone else wrote one of them off meanwhile.
  svc_->db->session() << "UPDATE BOLRECEBER SET IDSTATBREC = 'B' WHERE CDFILIAL = '0001' AND "
                         "NRLANBOLREC = '0000000002'";
  screens_->onModal("TfrmPerdas", [&](host::ScreenModel& s) {
    auto& p = dynamic_cast<TfrmPerdas&>(s);
    fill(p, "02/03/2026");
    EXPECT_EQ(keyOf([&] { p.Confirmar(); }), "2BOL_BAIXADO");
    p.close();
  });
  CriaBaixa_Perda("04");
  EXPECT_EQ(stored("IDSTATBREC", "0000000001"), "A");
  EXPECT_EQ(count("SELECT COUNT(*) FROM BAIXAPERDA"), 0);
  EXPECT_EQ(f.cdsMarca.recordCount(), 2u) << "the marks stay";
}
