// SetDadosRec against the seeded service: what it writes, what it refuses, and that a refusal
// writes nothing at all.

#include <gtest/gtest.h>

#include "ServiceFixture.h"
#include "host/ClientDataset.h"
#include "records/Fields.h"

using host::Value;
using remote::Variant;

namespace {

namespace fld = records::fld;

class DadosRec : public service::testing::SeededService {
 public:
  /// A one-row packet with `fields`: the values as read (`original`, from the database), then
  /// the edit `changes` over them, in the change log.
  nlohmann::json packet(const std::vector<records::Field>& fields,
                        const std::vector<std::pair<std::string, std::string>>& keys,
                        const std::map<std::string, Value>& changes) {
    host::ClientDataset ds("cdsPosicao");
    std::vector<host::FieldDef> defs;
    for (const auto& f : fields) defs.push_back(f.def());
    ds.setFieldDefs(defs);
    ds.createDataset();
    for (const auto& [branch, number] : keys) {
      ds.append();
      for (const auto& f : fields) ds.fieldByName(f).setValue(stored(f, branch, number));
      ds.post();
    }
    ds.mergeChangeLog();
    ds.first();
    if (!changes.empty()) {
      ds.edit();
      for (const auto& [name, v] : changes) ds.fieldByName(name).setValue(v);
      ds.post();
    }
    return ds.toPacket();
  }
  Value stored(const records::Field& f, const std::string& branch, const std::string& number) {
    const std::string column = std::string(f.name) == "FTR_DSBOLETREC" ? "DSBOLETREC" : f.name;
    soci::indicator ind = soci::i_null;
    if (f.type == host::FieldType::Float) {
      double v = 0;
      svc_->db->session() << "SELECT " + column +
                                 " FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
          soci::use(branch), soci::use(number), soci::into(v, ind);
      return ind == soci::i_ok ? Value(v) : Value();
    }
    std::string v;
    svc_->db->session() << "SELECT " + column +
                               " FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(branch), soci::use(number), soci::into(v, ind);
    if (ind != soci::i_ok) return Value();
    if (f.type == host::FieldType::Date) return Value(*host::DateTime::parseIso(v));
    return Value(v);
  }
  remote::Reply send(const nlohmann::json& marca, const nlohmann::json& posicao, int64_t mode,
                     const std::string& message = "", const std::string& control = "N") {
    return call("SetDadosRec", {Variant::packet(marca), Variant::packet(posicao), Variant(mode),
                                Variant(int64_t{1}), Variant(message), Variant(control)});
  }
  static std::string resultKey(const remote::Reply& r) {
    const auto& rows = r.result.packetJson().at("rows");
    return rows.empty() ? "" : rows.at(0).at(0).get<std::string>();
  }
  nlohmann::json noMarks() { return packet({fld::CDFILIAL, fld::NRLANBOLREC}, {}, {}); }
};

const std::vector<records::Field> kPosition = {
    fld::CDFILIAL,    fld::NRLANBOLREC,  fld::VRPEMULBREC, fld::CDREDUCONT,
    fld::CDNOSNUMREC, fld::IDCARTCOBREC, fld::DTVENBOLREC, fld::FTR_DSBOLETREC};
const std::vector<records::Field> kMarks = {fld::CDFILIAL, fld::NRLANBOLREC, fld::DTVENBOLREC,
                                            fld::VRPEMULBREC, fld::VRMULTABREC};

}  // namespace

TEST_F(DadosRec, OneBoletoTakesThePositionAndTheMessage) {
  auto r = send(noMarks(),
                packet(kPosition, {{"0001", "0000000001"}},
                       {{"VRPEMULBREC", Value(2.5)}, {"FTR_DSBOLETREC", Value("Nova")}}),
                2, "Mensagem");
  ASSERT_TRUE(r.ok()) << r.key << " " << r.text;
  EXPECT_EQ(resultKey(r), "");
  EXPECT_DOUBLE_EQ(stored(fld::VRPEMULBREC, "0001", "0000000001").asDouble(), 2.5);
  EXPECT_EQ(stored(fld::FTR_DSBOLETREC, "0001", "0000000001").asString(), "Nova");
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE TXMENSBOLBOL = 'Mensagem'"), 1);
}

TEST_F(DadosRec, ReplicationCopiesOnlyWhatChangedAndEachBoletosOwnFine) {
  const std::vector<std::pair<std::string, std::string>> marked = {
      {"0001", "0000000001"}, {"0001", "0000000008"}, {"0002", "0000000003"}};
  const Value dueOf8 = stored(fld::DTVENBOLREC, "0001", "0000000008");
  auto marks = packet(kMarks, marked, {});
  auto r = send(marks,
                packet(kPosition, {{"0001", "0000000001"}},
                       {{"IDCARTCOBREC", Value("4")}, {"VRPEMULBREC", Value(1.0)}}),
                1);
  ASSERT_TRUE(r.ok()) << r.key << " " << r.text;
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE IDCARTCOBREC = '4'"), 3);
  EXPECT_EQ(stored(fld::DTVENBOLREC, "0001", "0000000008").asDate().iso(), dueOf8.asDate().iso())
      << "the due date was not changed: each keeps its own";
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE IDSITUCNABR = '00' AND NRCNABRECREM IS "
                  "NULL AND IDCARTCOBREC = '4'"),
            3)
      << "without remittance control the marked boletos leave their remittance";
}

TEST_F(DadosRec, AStaleBoletoRefusesTheWholeCallAndWritesNothing) {
  const std::vector<std::pair<std::string, std::string>> marked = {{"0001", "0000000001"},
                                                                   {"0001", "0000000008"}};
  auto marks = packet(kMarks, marked, {});
  auto position = packet(kPosition, {{"0001", "0000000001"}}, {{"IDCARTCOBREC", Value("4")}});
  // Someone else changes the second marked boleto after it was read.
  svc_->db->session() << "UPDATE BOLRECEBER SET VRMULTABREC = 1.23 WHERE NRLANBOLREC = "
                         "'0000000008' AND CDFILIAL = '0001'";
  auto r = send(marks, position, 1);
  EXPECT_EQ(r.key, "ALT_BLOQ");
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE IDCARTCOBREC = '4'"), 0)
      << "not even the position's boleto";
  // And the position's own boleto.
  svc_->db->session() << "UPDATE BOLRECEBER SET CDREDUCONT = '002' WHERE NRLANBOLREC = "
                         "'0000000001' AND CDFILIAL = '0001'";
  EXPECT_EQ(send(noMarks(), position, 2).key, "ALT_BLOQ");
}

TEST_F(DadosRec, BoletosThatMayNotChangeAnswerTheirKey) {
  auto r = send(noMarks(),
                packet(kPosition, {{"0001", "0000000005"}}, {{"VRPEMULBREC", Value(7.0)}}), 2);
  ASSERT_TRUE(r.ok()) << r.text;
  EXPECT_EQ(resultKey(r), "BOL_DESC");
  EXPECT_NE(stored(fld::VRPEMULBREC, "0001", "0000000005").asDouble(), 7.0);

  // A numbered boleto keeps its account: another one would need another number.
  const Value number = stored(fld::CDNOSNUMREC, "0001", "0000000002");
  ASSERT_FALSE(number.isNull());
  r = send(noMarks(),
           packet(kPosition, {{"0001", "0000000002"}},
                  {{"CDREDUCONT", Value("002")}, {"CDNOSNUMREC", Value()}}),
           2);
  EXPECT_EQ(resultKey(r), "NNUM_FIXO");
  EXPECT_EQ(stored(fld::CDREDUCONT, "0001", "0000000002").asString(), "001");
  EXPECT_EQ(stored(fld::CDNOSNUMREC, "0001", "0000000002").asString(), number.asString());
  // Sent empty with the same account, the stored codes stay.
  r = send(noMarks(), packet(kPosition, {{"0001", "0000000002"}}, {{"CDNOSNUMREC", Value()}}), 2);
  EXPECT_EQ(resultKey(r), "");
  EXPECT_EQ(stored(fld::CDNOSNUMREC, "0001", "0000000002").asString(), number.asString());
}

TEST_F(DadosRec, MalformedPacketsAreRefused) {
  auto two = packet(kPosition, {{"0001", "0000000001"}, {"0001", "0000000008"}}, {});
  EXPECT_EQ(send(noMarks(), two, 2).key, "ARG_INVALIDO");
  auto keyless = packet({fld::VRPEMULBREC}, {{"0001", "0000000001"}}, {});
  EXPECT_EQ(send(noMarks(), keyless, 2).key, "ARG_INVALIDO");
  auto position = packet(kPosition, {{"0001", "0000000001"}}, {});
  EXPECT_EQ(send(noMarks(), position, 2, std::string(501, 'x')).key, "ARG_TAMANHO");
  auto wrong = position;
  wrong["rows"][0][2] = "dez";  // VRPEMULBREC
  EXPECT_EQ(send(noMarks(), wrong, 2).key, "ARG_TIPO");
  EXPECT_EQ(send(noMarks(), nlohmann::json::object(), 2).key, "ARG_INVALIDO");
  EXPECT_EQ(count("SELECT COUNT(*) FROM BOLRECEBER WHERE TXMENSBOLBOL LIKE 'xxx%'"), 0);
}
