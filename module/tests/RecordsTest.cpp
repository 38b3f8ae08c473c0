#include <gtest/gtest.h>

#include "host/Errors.h"
#include "module/Records.h"
#include "records/Tables.h"

TEST(BankCode, EmptyRegistrationFormIsFormOne) {
  EXPECT_EQ(rec::registrationForm(""), "1");
  EXPECT_EQ(rec::registrationForm("2"), "2");
}

TEST(BankCode, NormalisingADatasetRewritesOnlyTheBankOfTheCurrentRow) {
  host::ClientDataset ds("cdsContCorr");
  ds.setFieldDefs(records::BankAccountRecord().fields());
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
  empty.setFieldDefs(records::BankAccountRecord().fields());
  empty.createDataset();
  EXPECT_NO_THROW(rec::normalizeBankCodeForMail(empty));
}
