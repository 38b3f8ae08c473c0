#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "host/ClientDataset.h"
#include "host/Errors.h"
#include "host/ScopedFlag.h"

using host::ClientDataset;
using host::DatasetEvents;
using host::DatasetState;
using host::DateTime;
using host::FieldDef;
using host::FieldType;
using host::Value;
using nlohmann::json;

namespace {

std::vector<FieldDef> boletoFields() {
  return {{"CDFILIAL", FieldType::String, 4, "Filial"},
          {"NRLANBOLREC", FieldType::String, 10, "Boleto"},
          {"NMCLIENTE", FieldType::String, 30, "Cliente"},
          {"VRBOLREC", FieldType::Float, 0, "Valor", "#,##0.00"},
          {"DTVENBOLREC", FieldType::Date, 0, "Vencimento", "dd/mm/yyyy"},
          {"QTPARC", FieldType::Integer},
          {"IDMARCADO", FieldType::Boolean},
          {"TXOBS", FieldType::Memo}};
}

void addRow(ClientDataset& ds, const char* fil, const char* nr, const char* cli, double vr) {
  ds.append();
  ds.fieldByName("CDFILIAL").setString(fil);
  ds.fieldByName("NRLANBOLREC").setString(nr);
  ds.fieldByName("NMCLIENTE").setString(cli);
  ds.fieldByName("VRBOLREC").setFloat(vr);
  ds.post();
}

// Three boletos, change log merged: the state the register holds after a reload.
class Dataset : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.setFieldDefs(boletoFields());
    ds.createDataset();
    addRow(ds, "0001", "0000000001", "Ana", 10.0);
    addRow(ds, "0001", "0000000002", "bruno", 20.0);
    addRow(ds, "0002", "0000000003", "Carla", 30.0);
    ds.mergeChangeLog();
  }

  std::vector<std::string> column(const char* field) {
    std::vector<std::string> out;
    for (size_t i = 1; i <= ds.recordCount(); ++i) out.push_back(ds.valueAt(i, field).asString());
    return out;
  }

  ClientDataset ds{"cdsBoletos"};
};

using Strings = std::vector<std::string>;

// --- fields and assignment

TEST_F(Dataset, OversizeTextIsRefusedNamingFieldSizeAndLength) {
  ds.first();
  ds.edit();
  try {
    ds.fieldByName("CDFILIAL").setString("00001");
    FAIL() << "oversize text accepted";
  } catch (const host::OperationError& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find("CDFILIAL"), std::string::npos) << msg;
    EXPECT_NE(msg.find('4'), std::string::npos) << msg;
    EXPECT_NE(msg.find('5'), std::string::npos) << msg;
  }
  EXPECT_EQ(ds.fieldByName("CDFILIAL").asString(), "0001") << "the field keeps its value";
  // the size counts characters, not UTF-8 bytes
  ds.fieldByName("CDFILIAL").setString("ÇÃÉÕ");
  EXPECT_EQ(ds.fieldByName("CDFILIAL").asString(), "ÇÃÉÕ");
  EXPECT_THROW(ds.fieldByName("CDFILIAL").setString("ÇÃÉÕA"), host::OperationError);
  // bytes that are not UTF-8 (a text read as Latin-1) are refused, not stored
  EXPECT_THROW(ds.fieldByName("CDFILIAL").setString("S\xe3o"), host::OperationError);
  EXPECT_THROW(ds.fieldByName("TXOBS").setString("\xed\xa0\x80"), host::OperationError);
  EXPECT_THROW(ds.fieldByName("TXOBS").setString("\xc3"), host::OperationError);
  ds.fieldByName("TXOBS").setString("São 😀");
  // a memo has no limit
  ds.fieldByName("TXOBS").setString(std::string(5000, 'x'));
  ds.post();
  EXPECT_EQ(ds.fieldByName("TXOBS").asString().size(), 5000u);
}

TEST_F(Dataset, AssignmentConvertsTextToTheFieldType) {
  ds.edit();
  ds.fieldByName("VRBOLREC").setString("1.234,56");
  EXPECT_DOUBLE_EQ(ds.fieldByName("VRBOLREC").asFloat(), 1234.56);
  ds.fieldByName("VRBOLREC").setString("1234.5");
  EXPECT_DOUBLE_EQ(ds.fieldByName("VRBOLREC").asFloat(), 1234.5);
  ds.fieldByName("DTVENBOLREC").setString("31/01/2025");
  EXPECT_EQ(ds.fieldByName("DTVENBOLREC").asDate(), DateTime::fromYmd(2025, 1, 31));
  ds.fieldByName("DTVENBOLREC").setString("2025-02-28");
  EXPECT_EQ(ds.fieldByName("DTVENBOLREC").asDate(), DateTime::fromYmd(2025, 2, 28));
  ds.fieldByName("QTPARC").setString("12");
  EXPECT_EQ(ds.fieldByName("QTPARC").value(), Value(int64_t{12}));
  ds.fieldByName("IDMARCADO").setString("True");
  EXPECT_EQ(ds.fieldByName("IDMARCADO").value(), Value(true));
  ds.fieldByName("VRBOLREC").setString("");
  EXPECT_TRUE(ds.fieldByName("VRBOLREC").isNull()) << "blank text clears a number";

  EXPECT_THROW(ds.fieldByName("VRBOLREC").setString("abc"), host::OperationError);
  EXPECT_THROW(ds.fieldByName("DTVENBOLREC").setString("31/02/2025"), host::OperationError);
  EXPECT_THROW(ds.fieldByName("QTPARC").setFloat(1.5), host::OperationError);
  EXPECT_THROW(ds.fieldByName("IDMARCADO").setString("talvez"), host::OperationError);
  // a packet could not carry them: JSON writes not-a-number as null
  EXPECT_THROW(ds.fieldByName("VRBOLREC").setString("nan"), host::OperationError);
  EXPECT_THROW(ds.fieldByName("VRBOLREC").setFloat(std::numeric_limits<double>::infinity()),
               host::OperationError);
}

TEST_F(Dataset, AssignmentOutsideEditIsRefusedNamingTheDataset) {
  try {
    ds.fieldByName("NMCLIENTE").setString("x");
    FAIL();
  } catch (const host::OperationError& e) {
    EXPECT_NE(std::string(e.what()).find("cdsBoletos"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ds.fieldByName("NAOEXISTE"), host::OperationError);
  EXPECT_EQ(ds.fieldIndex("nrlanbolrec"), 1) << "field names match regardless of case";
}

TEST_F(Dataset, DisplayTextUsesFormatsWithBrazilianSeparators) {
  ds.edit();
  ds.fieldByName("VRBOLREC").setFloat(1234567.5);
  ds.fieldByName("DTVENBOLREC").setDate(DateTime::fromYmd(2025, 3, 5));
  EXPECT_EQ(ds.fieldByName("VRBOLREC").displayText(), "1.234.567,50");
  EXPECT_EQ(ds.fieldByName("DTVENBOLREC").displayText(), "05/03/2025");
  ds.fieldDef("VRBOLREC").displayFormat = "#,##0.000";
  EXPECT_EQ(ds.fieldByName("VRBOLREC").displayText(), "1.234.567,500");
  ds.fieldByName("VRBOLREC").clear();
  EXPECT_EQ(ds.fieldByName("VRBOLREC").displayText(), "");
}

// --- cursor and states

TEST(DatasetCursor, EmptyDatasetIsBothBofAndEof) {
  ClientDataset ds("cds");
  ds.setFieldDefs(boletoFields());
  ds.createDataset();
  EXPECT_TRUE(ds.bof());
  EXPECT_TRUE(ds.eof());
  EXPECT_EQ(ds.recNo(), 0u);
  EXPECT_TRUE(ds.fieldByName("NMCLIENTE").isNull());
  EXPECT_THROW(ds.deleteRecord(), host::OperationError);
}

TEST_F(Dataset, NextPastTheLastRowSetsEofAndStays) {
  ds.first();
  EXPECT_TRUE(ds.bof());
  EXPECT_FALSE(ds.eof());
  int seen = 0;
  while (!ds.eof()) {
    ++seen;
    ds.next();
  }
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(ds.recNo(), 3u);
  ds.prior();
  EXPECT_FALSE(ds.eof());
  EXPECT_EQ(ds.recNo(), 2u);
  ds.last();
  EXPECT_TRUE(ds.eof());
}

TEST_F(Dataset, InsertGoesBeforeTheCursorAppendAtTheEnd) {
  ds.setRecNo(2);
  ds.insert();
  ds.fieldByName("NRLANBOLREC").setString("INS");
  ds.post();
  EXPECT_EQ(ds.recNo(), 2u);
  ds.append();
  ds.fieldByName("NRLANBOLREC").setString("APP");
  ds.post();
  EXPECT_EQ(column("NRLANBOLREC"),
            (Strings{"0000000001", "INS", "0000000002", "0000000003", "APP"}));
  EXPECT_EQ(ds.recNo(), 5u);
}

TEST_F(Dataset, CancelRevertsAnEditAndDropsAnInsert) {
  ds.setRecNo(2);
  ds.edit();
  ds.fieldByName("NMCLIENTE").setString("mudado");
  ds.cancel();
  EXPECT_EQ(ds.fieldByName("NMCLIENTE").asString(), "bruno");
  ds.insert();
  ds.cancel();
  EXPECT_EQ(ds.recordCount(), 3u);
  EXPECT_EQ(ds.recNo(), 2u);
  EXPECT_EQ(ds.state(), DatasetState::Browse);
  EXPECT_EQ(ds.changeCount(), 0);
}

TEST_F(Dataset, MovingWhileEditingPostsTheRow) {
  ds.first();
  ds.edit();
  ds.fieldByName("NMCLIENTE").setString("Ana Maria");
  ds.next();
  EXPECT_EQ(ds.state(), DatasetState::Browse);
  EXPECT_EQ(ds.valueAt(1, "NMCLIENTE").asString(), "Ana Maria");
  ds.append();
  ds.fieldByName("NRLANBOLREC").setString("NOVO");
  ds.first();  // the inserted row is posted, not lost
  EXPECT_EQ(ds.recordCount(), 4u);
}

TEST_F(Dataset, DeleteMovesToNextRowOrTheNewLast) {
  ds.setRecNo(2);
  ds.deleteRecord();
  EXPECT_EQ(ds.fieldByName("NRLANBOLREC").asString(), "0000000003");
  EXPECT_FALSE(ds.eof());
  ds.deleteRecord();
  EXPECT_EQ(ds.fieldByName("NRLANBOLREC").asString(), "0000000001");
  // the loop "delete or next until eof" ends
  ClientDataset d2("cds2");
  d2.setFieldDefs(boletoFields());
  d2.createDataset();
  for (int i = 0; i < 5; ++i) addRow(d2, "0001", std::to_string(i).c_str(), i % 2 ? "x" : "y", i);
  d2.first();
  int guard = 0;
  while (!d2.eof() && ++guard < 20) {
    if (d2.fieldByName("NMCLIENTE").asString() == "y")
      d2.deleteRecord();
    else
      d2.next();
  }
  EXPECT_LT(guard, 20);
  EXPECT_EQ(d2.recordCount(), 2u);
}

TEST_F(Dataset, BookmarkSurvivesSortingAndEdits) {
  ds.setRecNo(2);
  const auto mark = ds.bookmark();
  ds.setIndexFieldNames("NMCLIENTE");
  ds.first();
  ds.setRecNo(1);
  ds.insert();
  ds.fieldByName("NMCLIENTE").setString("Aaa");
  ds.post();
  ASSERT_TRUE(ds.gotoBookmark(mark));
  EXPECT_EQ(ds.fieldByName("NRLANBOLREC").asString(), "0000000002");
  ds.deleteRecord();
  EXPECT_FALSE(ds.gotoBookmark(mark));
}

// --- change log

TEST_F(Dataset, EditThenDeleteIsOneDeletionWithTheOriginalValues) {
  ds.setRecNo(2);
  ds.edit();
  ds.fieldByName("NMCLIENTE").setString("mudado");
  ds.post();
  ds.deleteRecord();
  EXPECT_EQ(ds.changeCount(), 1);
  const json delta = ds.delta();
  ASSERT_EQ(delta["changes"].size(), 1u);
  EXPECT_EQ(delta["changes"][0]["kind"], "delete");
  EXPECT_EQ(delta["changes"][0]["original"][2], "bruno");
  EXPECT_TRUE(delta["rows"].empty());
}

TEST_F(Dataset, InsertThenDeleteLeavesNothing) {
  addRow(ds, "0003", "0000000009", "Davi", 1.0);
  ds.deleteRecord();
  EXPECT_EQ(ds.changeCount(), 0);
  EXPECT_TRUE(ds.delta()["changes"].empty());
}

TEST_F(Dataset, EditOfAnInsertedRowStaysOneInsertionWithFinalValues) {
  addRow(ds, "0003", "0000000009", "Davi", 1.0);
  ds.edit();
  ds.fieldByName("VRBOLREC").setFloat(99.5);
  ds.post();
  EXPECT_EQ(ds.changeCount(), 1);
  const json delta = ds.delta();
  ASSERT_EQ(delta["changes"].size(), 1u);
  EXPECT_EQ(delta["changes"][0]["kind"], "insert");
  const size_t row = delta["changes"][0]["row"];
  EXPECT_EQ(delta["rows"][row][3], 99.5);
}

TEST_F(Dataset, ModifyCarriesOriginalsAndEditingBackClearsIt) {
  ds.first();
  ds.edit();
  ds.fieldByName("VRBOLREC").setFloat(11.0);
  ds.post();
  ds.edit();
  ds.fieldByName("VRBOLREC").setFloat(12.0);
  ds.post();
  json delta = ds.delta();
  ASSERT_EQ(delta["changes"].size(), 1u);
  EXPECT_EQ(delta["changes"][0]["kind"], "modify");
  EXPECT_EQ(delta["changes"][0]["original"][3], 10.0);
  EXPECT_EQ(delta["rows"][0][3], 12.0);
  ds.edit();
  ds.fieldByName("VRBOLREC").setFloat(10.0);
  ds.post();
  EXPECT_EQ(ds.changeCount(), 0);
}

TEST_F(Dataset, CancelUpdatesRestoresDeletedAndDropsInserted) {
  ds.setRecNo(2);
  ds.deleteRecord();
  ds.first();
  ds.edit();
  ds.fieldByName("NMCLIENTE").setString("mudado");
  ds.post();
  addRow(ds, "0003", "0000000009", "Davi", 1.0);
  EXPECT_EQ(ds.changeCount(), 3);
  ds.cancelUpdates();
  EXPECT_EQ(ds.changeCount(), 0);
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"Ana", "bruno", "Carla"}))
      << "deleted row back in its place";
}

TEST_F(Dataset, MergeMakesCurrentValuesTheOriginals) {
  ds.first();
  ds.edit();
  ds.fieldByName("NMCLIENTE").setString("mudado");
  ds.post();
  ds.setRecNo(3);
  ds.deleteRecord();
  ds.mergeChangeLog();
  EXPECT_EQ(ds.changeCount(), 0);
  ds.cancelUpdates();
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"mudado", "bruno"}));
  ds.first();
  ds.deleteRecord();
  EXPECT_EQ(ds.delta()["changes"][0]["original"][2], "mudado");
}

// --- order, locate, filter

TEST_F(Dataset, IndexesOrderByOneOrMoreFieldsAndFollowPostedRows) {
  ds.addIndex({"IdxFilCli", "CDFILIAL;NMCLIENTE", true});
  ds.setIndexName("IdxFilCli");
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"Ana", "bruno", "Carla"}));
  ds.setIndexFieldNames("NMCLIENTE");  // case-sensitive: upper case first
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"Ana", "Carla", "bruno"}));
  addRow(ds, "0001", "0000000004", "Beatriz", 5.0);
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"Ana", "Beatriz", "Carla", "bruno"}));
  EXPECT_EQ(ds.recNo(), 2u) << "cursor follows the posted row";
  ds.setIndexFieldNames("");
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"Ana", "bruno", "Carla", "Beatriz"}));
  EXPECT_THROW(ds.setIndexName("Nenhum"), host::OperationError);
  EXPECT_THROW(ds.setIndexFieldNames("NAOEXISTE"), host::OperationError);
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"Ana", "bruno", "Carla", "Beatriz"}))
      << "order kept after a refusal";
}

TEST_F(Dataset, ARowEditedOutsideItsSortKeyKeepsItsPlaceAmongEqualKeys) {
  addRow(ds, "0001", "0000000004", "Dora", 40.0);
  ds.setIndexFieldNames("CDFILIAL");  // three rows share the branch 0001
  const Strings before = column("NRLANBOLREC");
  // Walk by position, changing each row: every row is met exactly once.
  Strings met;
  for (size_t r = 1; r <= ds.recordCount(); ++r) {
    ds.setRecNo(r);
    met.push_back(ds.valueOf("NRLANBOLREC").asString());
    ds.edit();
    ds.fieldByName("VRBOLREC").setFloat(1.0);
    ds.post();
    EXPECT_EQ(ds.recNo(), r);
  }
  EXPECT_EQ(met, before);
  EXPECT_EQ(column("NRLANBOLREC"), before);
  // A changed key still moves the row where it belongs.
  ds.first();
  ds.edit();
  ds.fieldByName("CDFILIAL").setString("0003");
  ds.post();
  EXPECT_EQ(ds.valueAt(ds.recordCount(), "CDFILIAL").asString(), "0003");
  EXPECT_EQ(ds.recNo(), ds.recordCount()) << "the cursor follows the moved row";
}

TEST_F(Dataset, LocateMatchesCaseOnlyWhenAsked) {
  ds.first();
  EXPECT_FALSE(ds.locate("CDFILIAL;NMCLIENTE", {"0001", "BRUNO"}));
  EXPECT_EQ(ds.recNo(), 1u) << "cursor kept when nothing matches";
  EXPECT_TRUE(ds.locate("cdfilial;nmcliente", {"0001", "BRUNO"}, {.caseInsensitive = true}));
  EXPECT_EQ(ds.recNo(), 2u);
  EXPECT_TRUE(ds.locate("NMCLIENTE", {"car"}, {.caseInsensitive = true, .partialKey = true}));
  EXPECT_EQ(ds.recNo(), 3u);
  EXPECT_FALSE(ds.locate("NMCLIENTE", {"car"}, {.caseInsensitive = true}));
  EXPECT_TRUE(ds.locate("VRBOLREC", {int64_t{20}})) << "a whole number finds a float field";
  EXPECT_EQ(ds.recNo(), 2u);
  EXPECT_EQ(ds.lookup("NRLANBOLREC", {"0000000003"}, "NMCLIENTE"), Value("Carla"));
  EXPECT_TRUE(ds.lookup("NRLANBOLREC", {"x"}, "NMCLIENTE").isNull());
}

TEST(DatasetLocate, RepeatedLocatesFindTheFirstRowInViewOrderAndSeeNewRows) {
  ClientDataset ds("cds");
  ds.setFieldDefs(boletoFields());
  ds.createDataset();
  for (int i = 0; i < 300; ++i) {
    addRow(ds, i % 2 ? "0001" : "0002", std::to_string(i).c_str(), i % 3 ? "Nome" : "nome", i);
  }
  // repeated locates on the same keys go through a sorted copy: same answers as a scan
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(ds.locate("CDFILIAL;NMCLIENTE", {"0001", "NOME"}, {.caseInsensitive = true}));
    EXPECT_EQ(ds.recNo(), 2u);
    ASSERT_TRUE(ds.locate("CDFILIAL;NMCLIENTE", {"0002", "nome"}));
    EXPECT_EQ(ds.recNo(), 1u);
    ASSERT_TRUE(ds.locate("NRLANBOLREC", {"299"}));
    EXPECT_EQ(ds.recNo(), 300u);
  }
  addRow(ds, "0009", "novo", "Zeca", 1);
  EXPECT_TRUE(ds.locate("NRLANBOLREC", {"novo"}));
  ds.setRecNo(5);
  ds.deleteRecord();
  EXPECT_FALSE(ds.locate("NRLANBOLREC", {"4"}));
  ds.setIndexFieldNames("VRBOLREC");
  ds.locate("NRLANBOLREC", {"299"});
  ds.locate("NRLANBOLREC", {"299"});
  EXPECT_EQ(ds.recNo(), 300u) << "0, 1, novo (1), 2, 3, 5 ... 299";
  ds.locate("NRLANBOLREC", {"novo"});
  EXPECT_EQ(ds.recNo(), 3u);
}

TEST_F(Dataset, FilterOfTheFormTheModuleUses) {
  ds.setFilter("(CDFILIAL = '0001')");
  ds.setFiltered(true);
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"Ana", "bruno"}));
  ds.setFilter("cdfilial = '0001' AND NOT (vrbolrec >= 20) or NMCLIENTE = 'Carla'");
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"Ana", "Carla"}));
  ds.setFilter("VRBOLREC > 10.5 and VRBOLREC <> 30");
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"bruno"}));
  ds.setFilter("DTVENBOLREC is null");
  EXPECT_EQ(ds.recordCount(), 3u);
  ds.setFilter("DTVENBOLREC is not null");
  EXPECT_EQ(ds.recordCount(), 0u);
  ds.setFiltered(false);
  EXPECT_EQ(ds.recordCount(), 3u);
}

TEST_F(Dataset, FilterQuotesNullsAndPostedRows) {
  addRow(ds, "0003", "0000000004", "D'Ávila", 1.0);
  ds.setFilter("NMCLIENTE = 'D''Ávila'");
  ds.setFiltered(true);
  ASSERT_EQ(ds.recordCount(), 1u);
  ds.setFilter("NMCLIENTE <> 'Ana'");
  ds.append();  // a null name is neither equal nor different
  ds.post();
  EXPECT_EQ(ds.recordCount(), 3u);
  ds.first();
  ds.edit();
  ds.fieldByName("NMCLIENTE").setString("Ana");
  ds.post();  // no longer passes: leaves the view
  EXPECT_EQ(ds.recordCount(), 2u);
}

TEST_F(Dataset, MalformedFilterIsRefusedNamingTheExpression) {
  for (const char* bad : {"(CDFILIAL = '0001'", "CDFILIAL = '0001", "CDFILIAL == 1", "CDFILIAL 'x'",
                          "= 'x'", "CDFILIAL = 'x' and", "CDFILIAL is 'x'", "CDFILIAL = null"}) {
    try {
      ds.setFilter(bad);
      ADD_FAILURE() << "accepted: " << bad;
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
    }
  }
  ds.setFilter("NAOEXISTE = 'x'");  // names are resolved when the filter is applied
  EXPECT_THROW(ds.setFiltered(true), std::invalid_argument);
  EXPECT_FALSE(ds.filtered());
  ds.setFilter("VRBOLREC = 'abc'");
  EXPECT_THROW(ds.setFiltered(true), std::invalid_argument);
  ds.setFilter("VRBOLREC = 10");
  ds.setFiltered(true);
  EXPECT_THROW(ds.setFilter("VRBOLREC = 'abc'"), std::invalid_argument);
  EXPECT_EQ(ds.filter(), "VRBOLREC = 10") << "the filter in force stays";
  EXPECT_EQ(ds.recordCount(), 1u);
  // Nesting is bounded: deep parentheses or "not"s are refused, not a stack overflow.
  for (const std::string& deep :
       {std::string(100000, '('),
        std::string(100, '(') + "not " + "CDFILIAL = 'x'" + std::string(100, ')')}) {
    try {
      ds.setFilter(deep);
      ADD_FAILURE() << "accepted a filter nested " << deep.size() << " deep";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find("nesting deeper than 100 levels"), std::string::npos);
    }
  }
  std::string notNot;
  for (int i = 0; i < 99; ++i) notNot += "not ";
  ds.setFilter(notNot + "VRBOLREC = 10");
  EXPECT_EQ(ds.filter(), notNot + "VRBOLREC = 10") << "99 levels are a filter";
}

// --- events

struct Recorder {
  std::vector<std::string> log;
  DatasetEvents events() {
    DatasetEvents e;
    auto rec = [this](const char* n) { return [this, n](ClientDataset&) { log.emplace_back(n); }; };
    e.afterOpen = rec("afterOpen");
    e.beforeClose = rec("beforeClose");
    e.beforeScroll = rec("beforeScroll");
    e.afterScroll = rec("afterScroll");
    e.beforeInsert = rec("beforeInsert");
    e.onNewRecord = rec("onNewRecord");
    e.afterInsert = rec("afterInsert");
    e.beforeEdit = rec("beforeEdit");
    e.afterEdit = rec("afterEdit");
    e.beforePost = rec("beforePost");
    e.afterPost = rec("afterPost");
    e.beforeDelete = rec("beforeDelete");
    e.afterDelete = rec("afterDelete");
    e.onStateChange = rec("state");
    return e;
  }
};

TEST_F(Dataset, EventsFireInTheHostOrder) {
  Recorder r;
  ds.attachEvents(r.events());
  ds.append();
  ds.post();
  EXPECT_EQ(r.log, (Strings{"beforeInsert", "beforeScroll", "state", "onNewRecord", "afterInsert",
                            "afterScroll", "beforePost", "state", "afterPost"}));
  r.log.clear();
  ds.first();
  ds.edit();
  ds.fieldByName("NMCLIENTE").setString("x");
  ds.next();  // posts on the way
  EXPECT_EQ(r.log, (Strings{"beforeScroll", "afterScroll", "beforeEdit", "state", "afterEdit",
                            "beforePost", "state", "afterPost", "beforeScroll", "afterScroll"}));
}

TEST_F(Dataset, BeforePostThatThrowsKeepsTheEdit) {
  ds.events().beforePost = [](ClientDataset& d) {
    if (d.fieldByName("NMCLIENTE").asString().empty()) host::MensErro("nome obrigatório");
  };
  ds.first();
  ds.edit();
  ds.fieldByName("NMCLIENTE").setString("");
  EXPECT_THROW(ds.post(), host::OperationError);
  EXPECT_EQ(ds.state(), DatasetState::Edit);
  EXPECT_EQ(ds.changeCount(), 0);
  ds.cancel();
}

TEST_F(Dataset, NoEventsWhileDetachedOrFrozen) {
  Recorder r;
  ds.attachEvents(r.events());
  DatasetEvents saved = ds.detachEvents();
  ds.first();
  ds.next();
  ds.edit();
  ds.post();
  EXPECT_TRUE(r.log.empty());
  ds.attachEvents(std::move(saved));
  ds.freeze();
  ds.freeze();
  ds.last();
  ds.unfreeze();
  ds.prior();
  EXPECT_TRUE(r.log.empty()) << "freezing nests";
  ds.unfreeze();
  EXPECT_FALSE(ds.frozen());
  ds.first();
  EXPECT_EQ(r.log, (Strings{"beforeScroll", "afterScroll"}));
}

TEST_F(Dataset, AThrowInsideTheGuardsLeavesTheDatasetAsItWas) {
  Recorder r;
  ds.attachEvents(r.events());
  ds.setIndexFieldNames("NMCLIENTE");
  bool busy = false;
  try {
    host::ScopedFlag busyMark(busy);
    host::SavedOrder unsorted(ds, "");
    host::FrozenDataset frozen(ds);
    host::DetachedEvents detached(ds);
    host::DetachedEvents noScroll(ds, &DatasetEvents::afterScroll);
    EXPECT_TRUE(busy);
    EXPECT_EQ(column("NMCLIENTE"), (Strings{"Ana", "bruno", "Carla"}));
    ds.events().afterScroll = [](ClientDataset&) { FAIL() << "set inside the scope, gone after"; };
    ds.last();
    host::MensErro("falhou no meio");
  } catch (const host::OperationError&) {
  }
  EXPECT_FALSE(busy);
  EXPECT_FALSE(ds.frozen());
  EXPECT_EQ(ds.indexFieldNames(), "NMCLIENTE");
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"Ana", "Carla", "bruno"}));
  EXPECT_TRUE(r.log.empty());
  ds.first();
  EXPECT_EQ(r.log, (Strings{"beforeScroll", "afterScroll"})) << "every event is back";
}

TEST_F(Dataset, OneDetachedEventLeavesTheOthersAndSavedOrderPutsANamedIndexBack) {
  Recorder r;
  ds.attachEvents(r.events());
  ds.addIndex({"porValor", "VRBOLREC"});
  ds.setIndexName("porValor");
  {
    host::DetachedEvents noScroll(ds, &DatasetEvents::afterScroll);
    host::SavedOrder byName(ds, "NMCLIENTE");
    EXPECT_EQ(ds.indexName(), "");
    ds.next();
  }
  EXPECT_EQ(r.log, (Strings{"beforeScroll"}));
  EXPECT_EQ(ds.indexName(), "porValor");
  EXPECT_EQ(column("VRBOLREC"), (Strings{"10", "20", "30"}));
}

TEST_F(Dataset, AHandlerMayDetachTheEventsWhileRunning) {
  int calls = 0;
  ds.events().afterScroll = [&](ClientDataset& d) {
    ++calls;
    DatasetEvents e = d.detachEvents();
    d.next();
    d.attachEvents(std::move(e));
  };
  ds.first();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ds.recNo(), 2u);
}

// --- copies and packets

TEST_F(Dataset, PacketRoundTripKeepsNullEmptyZeroDatesAndDefinitions) {
  ds.first();
  ds.edit();
  ds.fieldByName("NMCLIENTE").setString("");
  ds.fieldByName("VRBOLREC").setFloat(0.0);
  ds.fieldByName("QTPARC").setValue(Value(int64_t{0}));
  ds.fieldByName("DTVENBOLREC").setDate(DateTime::fromYmd(2025, 12, 31));
  ds.post();
  ds.next();
  ds.edit();
  ds.fieldByName("DTVENBOLREC").setDate(DateTime::fromYmdHms(2025, 1, 2, 0, 0, 0, 0));
  ds.fieldByName("IDMARCADO").setValue(Value(false));
  ds.post();
  ds.mergeChangeLog();

  const std::string wire = ds.toPacket().dump();
  ClientDataset copy("cdsCopia");
  copy.loadPacket(json::parse(wire));
  ASSERT_EQ(copy.recordCount(), 3u);
  EXPECT_EQ(copy.valueAt(1, "NMCLIENTE"), Value(""));
  EXPECT_EQ(copy.valueAt(1, "VRBOLREC"), Value(0.0));
  EXPECT_EQ(copy.valueAt(1, "QTPARC"), Value(int64_t{0}));
  EXPECT_EQ(copy.valueAt(1, "DTVENBOLREC"), Value(DateTime::fromYmd(2025, 12, 31)));
  EXPECT_TRUE(copy.valueAt(3, "NMCLIENTE").isText());
  EXPECT_TRUE(copy.valueAt(3, "VRBOLREC").isNumber());
  EXPECT_TRUE(copy.valueAt(3, "QTPARC").isNull());
  const DateTime withTime = copy.valueAt(2, "DTVENBOLREC").asDate();
  EXPECT_TRUE(withTime.hasTime()) << "midnight with a time stays a date and time";
  EXPECT_EQ(copy.valueAt(2, "IDMARCADO"), Value(false));
  EXPECT_TRUE(copy.valueAt(3, "IDMARCADO").isNull());
  const FieldDef& vr = copy.fieldDefs()[3];
  EXPECT_EQ(vr.name, "VRBOLREC");
  EXPECT_EQ(vr.type, FieldType::Float);
  EXPECT_EQ(vr.displayLabel, "Valor");
  EXPECT_EQ(vr.displayFormat, "#,##0.00");
  EXPECT_EQ(copy.fieldDefs()[0].size, 4);
  EXPECT_EQ(copy.toPacket(), json::parse(wire));
}

TEST_F(Dataset, PacketRoundTripKeepsTheChangeLog) {
  ds.first();
  ds.edit();
  ds.fieldByName("NMCLIENTE").setString("mudado");
  ds.post();
  ds.next();
  ds.deleteRecord();
  addRow(ds, "0003", "0000000009", "Davi", 1.0);

  ClientDataset copy("cdsCopia");
  copy.loadPacket(json::parse(ds.toPacket().dump()));
  EXPECT_EQ(copy.changeCount(), 3);
  EXPECT_EQ(copy.delta(), ds.delta());
  copy.cancelUpdates();
  std::vector<std::string> names;
  for (size_t i = 1; i <= copy.recordCount(); ++i)
    names.push_back(copy.valueAt(i, "NMCLIENTE").asString());
  EXPECT_EQ(names, (Strings{"Ana", "bruno", "Carla"}));
}

TEST(DatasetPacket, MalformedPacketsAreRefusedAndLoseNothing) {
  ClientDataset ds("cds");
  ds.setFieldDefs(boletoFields());
  ds.createDataset();
  addRow(ds, "0001", "1", "Ana", 1.0);
  const json good = ds.toPacket();
  auto expectRefused = [&](json p, const char* mentions) {
    try {
      ds.loadPacket(p);
      ADD_FAILURE() << "accepted: " << p.dump();
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(mentions), std::string::npos) << e.what();
    }
    EXPECT_EQ(ds.recordCount(), 1u);
    EXPECT_EQ(ds.valueOf("NMCLIENTE"), Value("Ana"));
  };
  expectRefused(json::array(), "object");
  json p = good;
  p.erase("fields");
  expectRefused(p, "fields");
  p = good;
  p["fields"][3]["type"] = "X";
  expectRefused(p, "VRBOLREC");
  p = good;
  p["rows"][0][3] = "dez";
  expectRefused(p, "VRBOLREC");
  p = good;
  p["rows"][0][4] = "31/12/2025";
  expectRefused(p, "DTVENBOLREC");
  p = good;
  p["rows"][0][0] = "000001";
  expectRefused(p, "CDFILIAL");
  p = good;
  p["rows"][0].erase(1);
  expectRefused(p, "row 0");
  p = good;
  p["changes"] = json::array({{{"kind", "modify"}, {"row", 7}, {"original", good["rows"][0]}}});
  expectRefused(p, "row 7");
  p = good;
  p["rows"][0][2] = "Jos\xe9";
  expectRefused(p, "UTF-8");
  p = good;
  p["rows"][0][5] = 18446744073709551615ULL;
  expectRefused(p, "QTPARC");
  p = good;
  p["changes"] = json::array({{{"kind", "rename"}, {"row", 0}}});
  expectRefused(p, "rename");
}

TEST(DatasetPacket, AppendPacketRowsMatchesFieldsByName) {
  ClientDataset ds("cdsBoletos");
  ds.setFieldDefs(boletoFields());
  ds.createDataset();
  const json packet = {
      {"fields", json::array({{{"name", "nmcliente"}, {"type", "S"}, {"size", 60}},
                              {{"name", "EXTRA"}, {"type", "I"}},
                              {{"name", "VRBOLREC"}, {"type", "F"}}})},
      {"rows", json::array({json::array({"Ana", 1, 2.5}), json::array({nullptr, 2, 3})})}};
  ds.appendPacketRows(packet);
  ASSERT_EQ(ds.recordCount(), 2u);
  EXPECT_EQ(ds.valueAt(1, "NMCLIENTE"), Value("Ana"));
  EXPECT_EQ(ds.valueAt(2, "VRBOLREC"), Value(3.0));
  EXPECT_TRUE(ds.valueAt(1, "CDFILIAL").isNull());
  EXPECT_EQ(ds.changeCount(), 0) << "fetched rows are not changes";
  json tooLong = packet;
  tooLong["rows"].push_back(json::array({std::string(31, 'x'), 1, 1}));
  EXPECT_THROW(ds.appendPacketRows(tooLong), std::invalid_argument);
  EXPECT_EQ(ds.recordCount(), 2u);
}

TEST_F(Dataset, CopyDataFromTakesRowsNotTheLog) {
  ds.setRecNo(2);
  ds.deleteRecord();
  ClientDataset copy("cdsMarca");
  copy.copyDataFrom(ds);
  EXPECT_EQ(copy.recordCount(), 2u);
  EXPECT_EQ(copy.changeCount(), 0);
  EXPECT_EQ(copy.recNo(), 1u);
  EXPECT_EQ(copy.valueOf("NMCLIENTE"), Value("Ana"));
  copy.first();
  copy.edit();
  copy.fieldByName("NMCLIENTE").setString("outra");
  copy.post();
  EXPECT_EQ(ds.valueAt(1, "NMCLIENTE"), Value("Ana")) << "a copy, not a view";
}

TEST_F(Dataset, EmptyAndCloseDropRowsAndLogButKeepFields) {
  ds.first();
  ds.deleteRecord();
  ds.emptyDataset();
  EXPECT_TRUE(ds.active());
  EXPECT_EQ(ds.recordCount(), 0u);
  EXPECT_EQ(ds.changeCount(), 0);
  addRow(ds, "0001", "1", "x", 1);
  ds.close();
  EXPECT_FALSE(ds.active());
  EXPECT_THROW(ds.first(), host::OperationError);
  ds.open();
  EXPECT_EQ(ds.recordCount(), 0u);
  EXPECT_EQ(ds.fieldCount(), 8u);
}

}  // namespace

namespace {

TEST_F(Dataset, BookmarkOfReplacedRowsFindsNothing) {
  ds.setRecNo(3);
  const auto mark = ds.bookmark();
  ClientDataset other("cdsOutro");
  other.loadPacket(ds.toPacket());
  ds.copyDataFrom(other);  // same number of rows, other slots
  ds.first();
  EXPECT_FALSE(ds.gotoBookmark(mark));
  EXPECT_EQ(ds.recNo(), 1u);
}

TEST_F(Dataset, CaseInsensitiveIndexAndDateFilter) {
  ds.addIndex({"IdxCli", "NMCLIENTE", true});
  ds.setIndexName("IdxCli");
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"Ana", "bruno", "Carla"}));
  for (size_t i = 1; i <= 3; ++i) {
    ds.setRecNo(i);
    ds.edit();
    ds.fieldByName("DTVENBOLREC").setDate(DateTime::fromYmd(2025, 3, static_cast<int>(i)));
    ds.post();
  }
  ds.setFilter("[DTVENBOLREC] >= '02/03/2025' and DTVENBOLREC < '2025-03-03'");
  ds.setFiltered(true);
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"bruno"}));
}

TEST(DatasetFields, DeclarationsAreCheckedAndFrozenWhileOpen) {
  ClientDataset ds("cds");
  EXPECT_THROW(ds.createDataset(), host::OperationError) << "no fields";
  EXPECT_THROW(ds.setFieldDefs({{"A", FieldType::String, 0}}), host::OperationError);
  EXPECT_THROW(ds.setFieldDefs({{"A"}, {"a"}}), host::OperationError);
  ds.setFieldDefs({{"A"}});
  ds.createDataset();
  EXPECT_THROW(ds.addFieldDef({"B"}), host::OperationError);
}

TEST(DatasetPacket, AppendPacketRowsConvertsDifferingTypes) {
  ClientDataset ds("cds");
  ds.setFieldDefs(
      {{"NR", FieldType::String, 10}, {"VR", FieldType::Float}, {"DT", FieldType::String, 10}});
  ds.createDataset();
  const json packet = {{"fields", json::array({{{"name", "NR"}, {"type", "I"}},
                                               {{"name", "VR"}, {"type", "I"}},
                                               {{"name", "DT"}, {"type", "D"}}})},
                       {"rows", json::array({json::array({42, 7, "2025-01-31"})})}};
  ds.appendPacketRows(packet);
  EXPECT_EQ(ds.valueOf("NR"), Value("42"));
  EXPECT_EQ(ds.valueOf("VR"), Value(7.0));
  EXPECT_EQ(ds.valueOf("DT"), Value("31/01/2025"));
}

}  // namespace

namespace {

TEST_F(Dataset, WithoutLoggingRowsChangeButTheLogDoesNot) {
  ds.setLogChanges(false);
  addRow(ds, "0003", "0000000004", "Davi", 4.0);
  ds.first();
  ds.edit();
  ds.fieldByName("NMCLIENTE").setString("mudado");
  ds.post();
  ds.next();
  ds.deleteRecord();
  EXPECT_EQ(ds.changeCount(), 0);
  ds.cancelUpdates();
  EXPECT_EQ(column("NMCLIENTE"), (Strings{"mudado", "Carla", "Davi"}));
  ds.setLogChanges(true);
  ds.first();
  ds.deleteRecord();
  EXPECT_EQ(ds.changeCount(), 1);
}

TEST_F(Dataset, InsertUnderAFilterAndAnIndexLandsWhereItBelongs) {
  ds.setFilter("CDFILIAL = '0001'");
  ds.setFiltered(true);
  ds.setIndexFieldNames("VRBOLREC");
  ds.first();
  ds.insert();
  ds.fieldByName("CDFILIAL").setString("0001");
  ds.fieldByName("VRBOLREC").setFloat(15.0);
  ds.post();
  EXPECT_EQ(ds.recNo(), 2u);
  EXPECT_EQ(column("VRBOLREC"), (Strings{"10", "15", "20"}));
  ds.append();
  ds.fieldByName("CDFILIAL").setString("0009");  // hidden by the filter once posted
  ds.post();
  EXPECT_EQ(ds.recordCount(), 3u);
  ds.setFiltered(false);
  EXPECT_EQ(ds.recordCount(), 5u);
}

}  // namespace

namespace {

// Random inputs: a parser may refuse them, but only with its own error, and the dataset
// stays usable.
TEST_F(Dataset, FilterParserSurvivesRandomInput) {
  const std::string alphabet = "CDFILIAL VRBOLREC NMCLIENTE andornotisnull()'=<>0123.-[]x";
  std::mt19937 rng(7);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> len(0, 40);
  ds.setFiltered(true);
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    for (int n = len(rng); n > 0; --n) text += alphabet[pick(rng)];
    try {
      ds.setFilter(text);
    } catch (const std::invalid_argument&) {
    }
    EXPECT_LE(ds.recordCount(), 3u);
  }
}

TEST_F(Dataset, PacketLoaderSurvivesRandomDamage) {
  ds.first();
  ds.edit();
  ds.fieldByName("DTVENBOLREC").setString("01/02/2025");
  ds.post();
  ds.last();
  ds.deleteRecord();
  const json good = ds.toPacket();
  const std::vector<json> junk = {nullptr,
                                  -1,
                                  7,
                                  1.5,
                                  "x",
                                  "2025-13-01",
                                  true,
                                  json::array(),
                                  json::object(),
                                  std::string(40, 'z')};
  std::mt19937 rng(11);
  for (int i = 0; i < 2000; ++i) {
    json p = good;
    // replace one value somewhere in the packet
    std::vector<json*> nodes;
    std::vector<json*> stack{&p};
    while (!stack.empty()) {
      json* n = stack.back();
      stack.pop_back();
      nodes.push_back(n);
      if (n->is_structured()) {
        for (auto& child : *n) stack.push_back(&child);
      }
    }
    *nodes[rng() % nodes.size()] = junk[rng() % junk.size()];
    ClientDataset target("cdsAlvo");
    try {
      target.loadPacket(p);
      EXPECT_NO_THROW(target.toPacket().dump());
      target.cancelUpdates();
    } catch (const std::invalid_argument&) {
    }
  }
}

}  // namespace
