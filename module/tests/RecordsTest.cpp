#include <gtest/gtest.h>

#include "host/Errors.h"
#include "module/Records.h"
#include "records/Tables.h"

TEST(BankCode, EmissionRules) {
  struct Case {
    const char* cnab;
    const char* conv;
    const char* expected;
  };
  for (const Case& c : {Case{"025", "", "237"}, Case{"025", "341", "237"}, Case{"612", "", "341"},
                        Case{"637", "237", "237"}, Case{"637", "", "637"},
                        Case{"237", "341", "237"}, Case{"", "237", ""}, Case{"001", "", "001"}}) {
    EXPECT_EQ(rec::bankCodeForEmission(c.cnab, c.conv), c.expected) << c.cnab << "/" << c.conv;
  }
}

TEST(BankCode, MailKnowsOnlyTheAgreementWithBank237) {
  EXPECT_EQ(rec::bankCodeForMail("637", "237"), "237");
  EXPECT_EQ(rec::bankCodeForMail("001", "237"), "237");
  EXPECT_EQ(rec::bankCodeForMail("025", ""), "025");
  EXPECT_EQ(rec::bankCodeForMail("612", ""), "612");
  EXPECT_EQ(rec::bankCodeForMail("637", "341"), "637");
}

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
