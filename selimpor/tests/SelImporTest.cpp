// The import selection against the seeded service: opened from the register for the first
// marked customer, flags saved at once, flag all and unflag all in one call, a flag changed
// meanwhile refused, and the service refusing what the screen never sends.

#include <set>

#include "host/Consiste.h"
#include "host/ScopedFlag.h"
#include "records/Methods.h"
#include "register/tests/RegisterFixture.h"
#include "selimpor/Cli_rec12007.h"

using namespace rec;

namespace {

class SelImpor : public rec::testing::RegisterFixture {
 protected:
  void SetUp() override {
    RegisterFixture::SetUp();
    InstalaSelImpor();
    // The customer of company 04 with the most notes.
    svc_->db->session() << "SELECT CDCLIENTE FROM NOTAFISCAL WHERE CDEMPRESA = '04' GROUP BY "
                           "CDCLIENTE ORDER BY COUNT(*) DESC, CDCLIENTE LIMIT 1",
        soci::into(customer_);
    ASSERT_GE(notesOf(customer_).size(), 2u) << "the demo data has a customer with notes";
  }
  void TearDown() override {
    if (auto* s = frmSelImpor()) s->close();
    RegisterFixture::TearDown();
  }

  /// Each note's flag on the service, by "branch/entry".
  std::map<std::string, std::string> notesOf(const std::string& customer) {
    std::map<std::string, std::string> flags;
    soci::rowset<soci::row> rows =
        (svc_->db->session().prepare << "SELECT CDFILIAL, NRLANCTONF, IDIMPONFCR FROM NOTAFISCAL "
                                        "WHERE CDCLIENTE = :c AND CDEMPRESA = '04'",
         soci::use(customer));
    for (const auto& r : rows)
      flags[r.get<std::string>(0) + "/" + r.get<std::string>(1)] =
          r.get_indicator(2) == soci::i_ok ? r.get<std::string>(2) : "";
    return flags;
  }
  std::string current(const TfrmSelImpor& s) const {
    return s.cdsSelImpor.valueOf("CDFILIAL").asString() + "/" +
           s.cdsSelImpor.valueOf("NRLANCTONF").asString();
  }
  TfrmSelImpor& opened() {
    CriaSelImpNF("4", customer_);
    auto* s = frmSelImpor();
    EXPECT_NE(s, nullptr);
    return *s;
  }

  std::string customer_;
};

TEST_F(SelImpor, TheRegisterOpensItForTheFirstMarkedCustomerAndRefusesAnEmptyMarking) {
  auto& f = listed();
  dialogs_->expectError("Nenhum boleto foi selecionado.");
  f.control("mnuSelNFImp").click();
  EXPECT_EQ(frmSelImpor(), nullptr);

  host::ScopedFlag marking(f.bMarcaGeral);
  f.cdsBoletos.setRecNo(1);
  f.Marca_Boleto(false, 'M');
  const std::string customer = f.klMarcados.Key(0).substr(14, 21);
  f.control("mnuSelNFImp").click();
  auto* s = frmSelImpor();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Cli_rec12007::stCliente, customer);
  EXPECT_EQ(Cli_rec12007::stEmpresa, "04");
  ASSERT_FALSE(screens_->shown().empty());
  EXPECT_EQ(screens_->shown().back().className, "TfrmSelImpor");
  EXPECT_EQ(screens_->shown().back().mode, ShowMode::Modeless);
  EXPECT_EQ(s->cdsSelImpor.recordCount(), notesOf(customer).size());
}

TEST_F(SelImpor, EachToggleIsSavedAtOnceAndTheCurrentNoteStays) {
  auto& s = opened();
  auto& grid = s.grid("dbgSelImpor");
  ASSERT_EQ(s.cdsSelImpor.recordCount(), notesOf(customer_).size());
  EXPECT_FALSE(s.cdsSelImpor.fieldDef("NRINSJURCLIE").visible);
  s.cdsSelImpor.setRecNo(2);
  const std::string note = current(s);
  grid.dblClick();
  EXPECT_EQ(notesOf(customer_)[note], "S");
  EXPECT_EQ(current(s), note) << "the refresh goes back to the note";
  EXPECT_EQ(s.cdsSelImpor.changeCount(), 0);
  grid.keyPress(' ');
  EXPECT_EQ(notesOf(customer_)[note], "N");
  // A blank flag counts as not flagged: it becomes "S".
  svc_->db->session() << "UPDATE NOTAFISCAL SET IDIMPONFCR = '' WHERE CDFILIAL || '/' || "
                         "NRLANCTONF = :k",
      soci::use(note);
  s.control("sbtVerificar").click();
  grid.dblClick();
  EXPECT_EQ(notesOf(customer_)[note], "S");
  // Notes are not deleted here.
  host::GridKey key = host::GridKey::Delete;
  grid.keyDown(key, {.ctrl = true});
  EXPECT_EQ(key, host::GridKey::None);
  EXPECT_EQ(s.cdsSelImpor.recordCount(), notesOf(customer_).size());
}

TEST_F(SelImpor, TitleClickFlagsAllOrUnflagsAllInOneSave) {
  auto& s = opened();
  auto& grid = s.grid("dbgSelImpor");
  grid.titleClick("NMRAZSOCCLIE");  // another column's title does nothing
  dialogs_->expectQuestion("Deseja marcar todas as Notas Fiscais?", true);
  grid.titleClick("IDIMPONFCR");
  for (const auto& [note, flag] : notesOf(customer_)) EXPECT_EQ(flag, "S") << note;
  EXPECT_FALSE(dialogs_->waitShown()) << "the wait animation is off again";
  EXPECT_GE(dialogs_->waitToggles(), 2);

  // A blank flag among "S": no note is exactly "N", so the question is to unflag all.
  const std::string first = notesOf(customer_).begin()->first;
  svc_->db->session() << "UPDATE NOTAFISCAL SET IDIMPONFCR = '' WHERE CDFILIAL || '/' || "
                         "NRLANCTONF = :k",
      soci::use(first);
  s.control("sbtVerificar").click();
  dialogs_->expectQuestion("Deseja desmarcar todas as Notas Fiscais?", false);
  grid.titleClick("IDIMPONFCR");
  EXPECT_EQ(notesOf(customer_)[first], "") << "answered no: nothing changes";
  dialogs_->expectQuestion("Deseja desmarcar todas as Notas Fiscais?", true);
  grid.titleClick("IDIMPONFCR");
  for (const auto& [note, flag] : notesOf(customer_)) EXPECT_EQ(flag, "N") << note;
  EXPECT_EQ(s.cdsSelImpor.changeCount(), 0);
}

TEST_F(SelImpor, AFlagChangedMeanwhileIsRefusedAndNotOverwritten) {
  auto& s = opened();
  s.cdsSelImpor.setRecNo(1);
  const std::string note = current(s);
  // Another operator flags the note after this screen read it.
  svc_->db->session() << "UPDATE NOTAFISCAL SET IDIMPONFCR = 'S' WHERE CDFILIAL || '/' || "
                         "NRLANCTONF = :k",
      soci::use(note);
  dialogs_->expectError("foi alterada por outro usuário");
  s.grid("dbgSelImpor").dblClick();  // "N" read, "S" wanted: the same, but not from "N"
  EXPECT_EQ(notesOf(customer_)[note], "S");
  // Refresh shows the service's flag and the next toggle works from it.
  s.control("sbtVerificar").click();
  EXPECT_EQ(s.cdsSelImpor.valueOf("IDIMPONFCR").asString(), "S");
  EXPECT_EQ(current(s), note);
  s.grid("dbgSelImpor").dblClick();
  EXPECT_EQ(notesOf(customer_)[note], "N");
}

TEST_F(SelImpor, ALaterCallReplacesTheCodesThatTheRefreshReads) {
  auto& s = opened();
  const size_t before = s.cdsSelImpor.recordCount();
  std::string other;
  svc_->db->session() << "SELECT MIN(CDCLIENTE) FROM NOTAFISCAL WHERE CDEMPRESA = '04' AND "
                         "CDCLIENTE <> :c",
      soci::use(customer_), soci::into(other);
  CriaSelImpNF("04", other);
  EXPECT_EQ(frmSelImpor(), &s) << "created once";
  EXPECT_EQ(s.cdsSelImpor.recordCount(), before) << "only the codes change";
  s.control("sbtVerificar").click();
  EXPECT_EQ(s.cdsSelImpor.recordCount(), notesOf(other).size());
  s.control("sbtSair").click();
  CriaSelImpNF("04", customer_);
  ASSERT_NE(frmSelImpor(), nullptr);
  EXPECT_EQ(frmSelImpor()->cdsSelImpor.recordCount(), before) << "a new screen reads at once";
}

TEST_F(SelImpor, TheServiceRefusesNewOrDeletedNotesAndFlagsOtherThanSOrN) {
  auto& s = opened();
  auto& ds = s.cdsSelImpor;
  auto refusal = [&](const nlohmann::json& packet) -> std::string {
    try {
      rpc::call(netHabContRec(), rpc::SetSelImpor{.cdsSelImpor = remote::Variant::packet(packet)});
    } catch (const host::ServiceError& e) {
      return e.key();
    }
    return "<none>";
  };
  {
    host::DetachedEvents quiet(ds);
    ds.setRecNo(1);
    ds.edit();
    ds.fieldByName("IDIMPONFCR").setString("X");
    ds.post();
  }
  EXPECT_EQ(refusal(ds.delta()), "ARG_INVALIDO");
  ds.cancelUpdates();
  {
    host::DetachedEvents quiet(ds);
    ds.setRecNo(1);
    ds.deleteRecord();
  }
  EXPECT_EQ(refusal(ds.delta()), "ARG_INVALIDO");
  ds.cancelUpdates();
  for (const auto& [note, flag] : notesOf(customer_)) EXPECT_EQ(flag, "N") << note;
  // Another company's notes are not read for an operator who may not use it.
  std::string customer = customer_, company = "99";
  try {
    rpc::call(netHabContRec(), rpc::GetSelImpor{.CDCLIENTE = customer, .CDEMPRESA = company});
    ADD_FAILURE() << "company 99 was read";
  } catch (const host::ServiceError& e) {
    EXPECT_EQ(e.key(), "ACESSO_EMPRESA");
  }
}

}  // namespace
