#include <gtest/gtest.h>

#include <set>

#include "host/Errors.h"
#include "module/Records.h"

namespace {

void expectWellFormed(const std::vector<host::FieldDef>& table) {
  std::set<std::string> names;
  for (const auto& f : table) {
    EXPECT_TRUE(names.insert(f.name).second) << "declared twice: " << f.name;
    if (f.type == host::FieldType::String) {
      EXPECT_GT(f.size, 0) << f.name;
    }
  }
}

}  // namespace

TEST(Records, FieldTablesDeclareEachFieldOnceWithItsType) {
  expectWellFormed(rec::BoletoRecord());
  expectWellFormed(rec::BankAccountRecord());
  const auto& b = rec::BoletoRecord();
  EXPECT_EQ(rec::fieldOf(b, "CDFILIAL").size, 4);
  EXPECT_EQ(rec::fieldOf(b, "NRLANBOLREC").size, 10);
  EXPECT_EQ(rec::fieldOf(b, "CDBARRAREC").size, 44);
  EXPECT_EQ(rec::fieldOf(b, "DSLINHABARREC").size, 55);
  EXPECT_EQ(rec::fieldOf(b, "DSEMAILCLIECOP").size, 400);
  EXPECT_EQ(rec::fieldOf(b, "DTVENBOLREC").type, host::FieldType::Date);
  EXPECT_EQ(rec::fieldOf(b, "VRFINALBREC").displayFormat, "#,##0.00");
  EXPECT_EQ(rec::fieldOf(b, "VRPEMORBREC").displayFormat, "#,##0.000");
  EXPECT_EQ(rec::fieldOf(b, "VRPEMORBREC").displayLabel, "Mora Diário (%)");
  EXPECT_EQ(rec::fieldOf(b, "CDREDUCONT").editMask, ">aaa;0; ");
  EXPECT_EQ(rec::fieldOf(b, "FTR_NRLICENCAUSO").editMask, "9999999999;0; ");
  EXPECT_TRUE(rec::fieldOf(b, "NRSEQORCAEVE").fixedWidth);
  const auto& a = rec::BankAccountRecord();
  EXPECT_EQ(rec::fieldOf(a, "DSNOSNUMCORR").size, 200);
  EXPECT_EQ(rec::fieldOf(a, "TXMENSBOLETO").size, 500);
  EXPECT_EQ(rec::fieldOf(a, "CDDIAPROTEST").displayLabel, "Dia para protesto");
  EXPECT_EQ(rec::fieldOf(a, "QTDIAPROTEST").type, host::FieldType::Float);
  EXPECT_THROW(rec::fieldOf(a, "NAOEXISTE"), host::InvariantError);
  EXPECT_EQ(rec::boletoKey("0001", "0000000042"), "00010000000042");
}

TEST(BankCode, EmptyRegistrationFormIsFormOne) {
  EXPECT_EQ(rec::registrationForm(""), "1");
  EXPECT_EQ(rec::registrationForm("2"), "2");
}

TEST(BankCode, NormalisingADatasetRewritesOnlyTheBankOfTheCurrentRow) {
  host::ClientDataset ds("cdsContCorr");
  ds.setFieldDefs(rec::BankAccountRecord());
  ds.createDataset();
  ds.append();
  ds.fieldByName("CDREDUCONT").setString("001");
  ds.fieldByName("CDBANCCNAB").setString("637");
  ds.fieldByName("CDBANCOCONV").setString("237");
  ds.post();
  ds.mergeChangeLog();
  rec::normalizeBankCodeForEmission(ds);
  EXPECT_EQ(ds.valueOf("CDBANCCNAB").asString(), "237");
  EXPECT_EQ(ds.valueOf("CDBANCOCONV").asString(), "237");
  EXPECT_EQ(ds.state(), host::DatasetState::Browse);

  host::ClientDataset empty("cdsContCorr");
  empty.setFieldDefs(rec::BankAccountRecord());
  empty.createDataset();
  EXPECT_NO_THROW(rec::normalizeBankCodeForMail(empty));
}
