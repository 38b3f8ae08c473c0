#include <gtest/gtest.h>

#include "host/ClientDataset.h"
#include "host/ClientDatasetPacket.h"

using host::ClientDataset;
using host::DataPacket;
using host::DateTime;
using host::FieldDef;
using host::FieldType;
using host::Value;
using nlohmann::json;

namespace {

FieldDef field(const char* name, FieldType type, int size = 20) {
  FieldDef f;
  f.name = name;
  f.type = type;
  f.size = size;
  return f;
}

// One row per awkward value: empty text against null, escapes and control characters,
// characters outside the BMP, whole and fractional doubles, extreme integers, a date with and
// one without a time, both booleans.
void fillEveryKind(ClientDataset& ds) {
  FieldDef labelled = field("NOME", FieldType::String, 12);
  labelled.displayLabel = "Nome";
  labelled.displayFormat = "";
  labelled.visible = false;
  ds.setFieldDefs({labelled, field("OBS", FieldType::Memo), field("VALOR", FieldType::Float),
                   field("QTDE", FieldType::Integer), field("ATIVO", FieldType::Boolean),
                   field("VENC", FieldType::Date)});
  ds.createDataset();
  auto row = [&](std::vector<Value> values) {
    ds.append();
    for (size_t i = 0; i < values.size(); ++i) ds.field(i).setValue(values[i]);
    ds.post();
  };
  row({Value(""), Value("a \"quoted\" \\ line\nbreak\t\x01"), Value(1.0),
       Value(int64_t{-9007199254740993}), Value(true), Value(DateTime::fromYmd(2026, 2, 28))});
  row({Value(), Value(), Value(), Value(), Value(), Value()});
  row({Value("ação 😀"), Value(std::string(300, 'x')), Value(0.1 + 0.2),
       Value(std::numeric_limits<int64_t>::max()), Value(false),
       Value(DateTime::fromYmdHms(2026, 3, 1, 23, 59, 58, 7))});
  row({Value("x"), Value("/"), Value(-1e300), Value(int64_t{0}), Value(true),
       Value(DateTime::fromYmd(1900, 1, 1))});
}

DataPacket read(const std::string& text) {
  size_t end = 0;
  auto p = DataPacket::readJson(text, 0, end);
  if (!p) throw std::runtime_error("the quick reader declined: " + text.substr(0, 200));
  EXPECT_EQ(end, text.size());
  return std::move(*p);
}

}  // namespace

TEST(DataPacket, EveryFieldKindCrossesTheQuickPathAsTheTreePathCarriesIt) {
  ClientDataset source("source");
  fillEveryKind(source);
  source.mergeChangeLog();
  const json tree = source.toPacket();

  // read off the text, written back, and as a tree: the same packet every way
  DataPacket packed = read(tree.dump());
  EXPECT_EQ(packed.rowCount(), 4u);
  EXPECT_EQ(packed.toJson(), tree);
  std::string text;
  packed.writeJson(text);
  EXPECT_EQ(json::parse(text), tree);
  EXPECT_TRUE(read(text) == packed);

  // loaded into datasets both ways: the same rows, fields and kinds
  ClientDataset viaTree("t"), viaPacked("p");
  viaTree.loadPacket(tree);
  viaPacked.loadPacked(packed);
  EXPECT_EQ(viaPacked.toPacket(), viaTree.toPacket());
  EXPECT_EQ(viaPacked.fieldDefs()[0].displayLabel, "Nome");
  EXPECT_FALSE(viaPacked.fieldDefs()[0].visible);
  viaPacked.first();
  EXPECT_TRUE(viaPacked.fieldByName("NOME").value() == Value(""));
  EXPECT_EQ(viaPacked.fieldByName("VALOR").value().kind(), Value::Kind::Float);
  viaPacked.next();
  EXPECT_TRUE(viaPacked.fieldByName("NOME").isNull());
  viaPacked.next();
  EXPECT_TRUE(viaPacked.fieldByName("VENC").value() ==
              Value(DateTime::fromYmdHms(2026, 3, 1, 23, 59, 58, 7)));
}

TEST(DataPacket, TheQuickReaderDeclinesWhatOnlyTheTreeReadsOrRefuses) {
  ClientDataset ds("ds");
  fillEveryKind(ds);  // rows appended and not merged: a change log
  const json withLog = ds.toPacket();
  ASSERT_FALSE(withLog["changes"].empty());
  const std::string plain = R"({"fields":[{"name":"A","type":"I"}],"rows":[[1],[null]]})";
  const std::vector<std::string> declined{
      withLog.dump(),
      R"({"rows":[[1]],"fields":[{"name":"A","type":"I"}]})",  // rows before fields
      R"({"fields":[{"name":"A","type":"I"}],"rows":[[1.5]]})",
      R"({"fields":[{"name":"A","type":"I"}],"rows":[["1"]]})",
      R"({"fields":[{"name":"A","type":"I"}],"rows":[[1,2]]})",
      R"({"fields":[{"name":"A","type":"I"}],"rows":[[01]]})",
      R"({"fields":[{"name":"A","type":"D"}],"rows":[["2026-02-30"]]})",
      R"({"fields":[{"name":"A","type":"S","size":5}],"rows":[["\ud800"]]})",
      R"({"fields":[{"name":"A","type":"S","size":5}],"rows":[["a)"
      "\xff"
      R"("]]})",
      R"({"fields":[{"name":"A","type":"Q"}],"rows":[]})",
      plain.substr(0, plain.size() - 3),
  };
  for (const auto& text : declined) {
    size_t end = 0;
    EXPECT_FALSE(DataPacket::readJson(text, 0, end)) << text;
  }
  // blanks anywhere, and a packet inside a larger text, are read
  size_t end = 0;
  const std::string spaced =
      " [ { \"fields\" : [ {\"name\":\"A\",\"type\":\"F\"} ] , \"rows\" : "
      "[ [ 1 ] , [ -2.5e3 ] ] } , 7]";
  auto p = DataPacket::readJson(spaced, 2, end);
  ASSERT_TRUE(p);
  EXPECT_EQ(spaced.substr(end), " , 7]");
  EXPECT_EQ(p->toJson()["rows"], json::parse("[[1.0],[-2500.0]]"));
}

TEST(DataPacket, LoadingChecksTextsAsTheTreePathDoes) {
  DataPacket p(json{{"fields", {{{"name", "A"}, {"type", "S"}, {"size", 3}}}}});
  p.addText("abcd");
  p.endRow();
  ClientDataset viaTree("t"), viaPacked("p");
  std::string treeError, packedError;
  try {
    viaTree.loadPacket(p.toJson());
  } catch (const std::invalid_argument& e) {
    treeError = e.what();
  }
  try {
    viaPacked.loadPacked(p);
  } catch (const std::invalid_argument& e) {
    packedError = e.what();
  }
  EXPECT_FALSE(packedError.empty());
  EXPECT_EQ(packedError, treeError);
  EXPECT_FALSE(viaPacked.active()) << "a refused packet leaves the dataset as it was";

  // appended by name into other fields: the values land where their names say
  DataPacket two(json{
      {"fields", {{{"name", "A"}, {"type", "S"}, {"size", 3}}, {{"name", "B"}, {"type", "I"}}}}});
  two.addText("ab");
  two.addInteger(7);
  two.endRow();
  ClientDataset other("other");
  other.setFieldDefs({field("B", FieldType::Float), field("C", FieldType::String, 2),
                      field("A", FieldType::String, 2)});
  other.createDataset();
  other.appendPackedRows(two);
  EXPECT_TRUE(other.fieldByName("B").value() == Value(7.0));
  EXPECT_TRUE(other.fieldByName("A").value() == Value("ab"));
  EXPECT_TRUE(other.fieldByName("C").isNull());
  // the same layout takes the rows as they are, and still checks the sizes
  ClientDataset same("same");
  same.setFieldDefs({field("A", FieldType::String, 1), field("B", FieldType::Integer)});
  same.createDataset();
  EXPECT_THROW(same.appendPackedRows(two), std::invalid_argument);
  EXPECT_EQ(same.recordCount(), 0u);
}

TEST(DataPacket, BuildingRefusesCellsThatDoNotSuitTheirField) {
  DataPacket p(json{{"fields", {{{"name", "D"}, {"type", "D"}}, {{"name", "F"}, {"type", "F"}}}}});
  EXPECT_THROW(p.addText("2026-01-01"), std::invalid_argument);
  p.addDate(DateTime::fromYmd(2026, 1, 1));
  EXPECT_THROW(p.endRow(), std::invalid_argument) << "a row short of its fields";
  p.addInteger(2);  // a whole number suits a double field
  EXPECT_THROW(p.addNull(), std::invalid_argument) << "a cell too many";
  p.endRow();
  p.addNull();
  p.addFloat(std::numeric_limits<double>::quiet_NaN());
  p.endRow();
  EXPECT_EQ(p.toJson()["rows"], json::parse(R"([["2026-01-01",2.0],[null,null]])"));
}

// The writer checks and the quick reader takes plain stretches of a text eight bytes at a
// time: every byte that is not plain ASCII must still be seen at any offset of the stride.
TEST(DataPacket, TextsAreCheckedAndEscapedAtEveryOffset) {
  const json head{{"fields", {{{"name", "A"}, {"type", "S"}, {"size", 60}}}}};
  for (const std::string odd : {"ç", "😀", "\"", "\\", "\n", "\x1f"}) {
    for (size_t at = 0; at <= 17; ++at) {
      const std::string value = std::string(at, 'a') + odd + std::string(17 - at, 'b');
      DataPacket p(head);
      p.addText(value);
      p.endRow();
      std::string text = "[";  // written after what the buffer holds already
      p.writeJson(text);
      ASSERT_EQ(json::parse(text.substr(1))["rows"][0][0], value) << at;
      EXPECT_TRUE(read(text.substr(1)) == p) << at;
    }
  }
  for (const std::string bad : {"\xff", "\xc3", "\xe2\x82", "\xed\xa0\x80", "\xc0\xaf"}) {
    for (size_t at : {0u, 7u, 8u, 9u, 16u}) {
      const std::string value = std::string(at, 'a') + bad + "bbbbbbbbb";
      DataPacket p(head);
      p.addText(value);
      p.endRow();
      std::string text;
      EXPECT_THROW(p.writeJson(text), std::invalid_argument) << at;
      const std::string raw =
          R"({"fields":[{"name":"A","type":"S","size":60}],"rows":[[")" + value + "\"]]}";
      size_t end = 0;
      EXPECT_FALSE(DataPacket::readJson(raw, 0, end)) << at;
    }
  }
  // a control character is never taken raw, and a text must end
  for (const std::string raw :
       {R"({"fields":[{"name":"A","type":"S","size":60}],"rows":[["abcdefghij)"
        "\x01"
        R"("]]})",
        R"({"fields":[{"name":"A","type":"S","size":60}],"rows":[["abcdefghij)"}) {
    size_t end = 0;
    EXPECT_FALSE(DataPacket::readJson(raw, 0, end));
  }
}
