// SetDadosRec: the receiving data the register confirms, written to the boleto it stands on
// and, when the operator replicates them, to every marked boleto, in the call's one
// transaction. Every boleto is checked before anything is written: a boleto someone changed
// since the register read it refuses the whole call ("ALT_BLOQ"); a boleto that may no
// longer change answers the key of the reason in the result packet, with nothing written.

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/Consiste.h"
#include "host/DateTime.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"

namespace service {

namespace {

using nlohmann::json;
namespace fld = records::fld;

// A column of BOLRECEBER the receiving data write: the packet field that carries it and
// whether a replication copies it to the marked boletos (when the operator changed it).
struct Column {
  records::Field field;
  const char* column;
  bool replicated;
};
const Column kColumns[] = {
    {fld::VRPEMULBREC, "VRPEMULBREC", false},    {fld::VRMULTABREC, "VRMULTABREC", false},
    {fld::VRPEMORBREC, "VRPEMORBREC", false},    {fld::VRMORDIABREC, "VRMORDIABREC", false},
    {fld::DTVENBOLREC, "DTVENBOLREC", true},     {fld::IDSTATBREC, "IDSTATBREC", false},
    {fld::CDTPBAIXAREC, "CDTPBAIXAREC", true},   {fld::CDREDUCONT, "CDREDUCONT", true},
    {fld::CDCARTCOBBOL, "CDCARTCOBBOL", true},   {fld::CDINS1COBBOL, "CDINS1COBBOL", true},
    {fld::CDINS2COBBOL, "CDINS2COBBOL", true},   {fld::QTDIAPROTBOL, "QTDIAPROTBOL", true},
    {fld::CDDIAPROTBOL, "CDDIAPROTBOL", true},   {fld::QTDIADEVOL, "QTDIADEVOL", true},
    {fld::CDDIADEVOL, "CDDIADEVOL", true},       {fld::IDIMPRBOLBOL, "IDIMPRBOLBOL", true},
    {fld::IDSITUCNABR, "IDSITUCNABR", false},    {fld::NRCNABRECREM, "NRCNABRECREM", false},
    {fld::IDPROTESTREC, "IDPROTESTREC", true},   {fld::DTINIPROTREC, "DTINIPROTREC", true},
    {fld::DTFIMPROTREC, "DTFIMPROTREC", true},   {fld::IDCARTCOBREC, "IDCARTCOBREC", true},
    {fld::IDFORMCADBREC, "IDFORMCADBREC", true}, {fld::FTR_DSBOLETREC, "DSBOLETREC", false},
    {fld::CDFILORIG, "CDFILORIG", true},
};
// The fine and interest a replication writes to each marked boleto from its own row.
const records::Field kFineFields[] = {fld::VRPEMULBREC, fld::VRMULTABREC, fld::VRPEMORBREC,
                                      fld::VRMORDIABREC};
// Codes a boleto keeps for ever once stored: written only where none is stored yet.
const records::Field kCodeFields[] = {fld::CDNOSNUMREC, fld::CDBARRAREC, fld::DSLINHABARREC};

// A packet's rows read by field name; each row's values as the register read them (the
// change log's originals) beside its current ones.
class PacketRows {
 public:
  PacketRows(const json& packet, const char* name) : packet_(packet), name_(name) {
    const auto& fields = packet.at("fields");
    for (size_t i = 0; i < fields.size(); ++i) {
      columns_.emplace(fields[i].at("name").get<std::string>(), i);
    }
    rows_ = &packet.at("rows");
    if (packet.contains("changes")) {
      for (const auto& c : packet.at("changes")) {
        if (c.at("kind").get<std::string>() == "modify") {
          originals_.emplace(c.at("row").get<size_t>(), &c.at("original"));
        }
      }
    }
  }
  size_t size() const { return rows_->size(); }
  bool has(std::string_view field) const { return columns_.count(std::string(field)) > 0; }
  const json& value(size_t row, std::string_view field) const {
    static const json null;
    auto it = columns_.find(std::string(field));
    if (it == columns_.end()) return null;
    return rows_->at(row).at(it->second);
  }
  const json& original(size_t row, std::string_view field) const {
    static const json null;
    auto it = columns_.find(std::string(field));
    if (it == columns_.end()) return null;
    auto o = originals_.find(row);
    return o == originals_.end() ? rows_->at(row).at(it->second) : o->second->at(it->second);
  }
  std::string text(size_t row, std::string_view field) const {
    const json& v = value(row, field);
    if (v.is_null()) return {};
    if (!v.is_string()) {
      throw Refusal("ARG_TIPO", fmt::format("SetDadosRec: {} de {} deve ser texto.", field, name_));
    }
    return host::AllTrim(v.get<std::string>());
  }

 private:
  const json& packet_;
  const char* name_;
  std::unordered_map<std::string, size_t> columns_;
  const json* rows_ = nullptr;
  std::unordered_map<size_t, const json*> originals_;
};

// Two values of one field are the same to the operator: null and "" (or 0) alike, texts
// without surrounding blanks, numbers to 3 decimals, dates by their day.
bool same(const json& a, const json& b, host::FieldType type) {
  switch (type) {
    case host::FieldType::Float:
    case host::FieldType::Integer: {
      auto num = [](const json& v) { return v.is_number() ? v.get<double>() : 0.0; };
      return host::RoundDec(3, num(a)) == host::RoundDec(3, num(b));
    }
    case host::FieldType::Date: {
      auto day = [](const json& v) {
        return v.is_string() ? v.get<std::string>().substr(0, 10) : std::string();
      };
      return day(a) == day(b);
    }
    default: {
      auto txt = [](const json& v) {
        return v.is_string() ? host::AllTrim(v.get<std::string>()) : std::string();
      };
      return txt(a) == txt(b);
    }
  }
}

// What the boleto holds now, as packet values typed by the fields read.
struct Stored {
  std::string company;
  json row;  // by position of kStoredFields
};
const std::vector<host::FieldDef>& storedFields() {
  static const std::vector<host::FieldDef> defs = [] {
    std::vector<host::FieldDef> d;
    for (const auto& c : kColumns) d.push_back(c.field.def());
    for (const auto& f : kCodeFields) d.push_back(f.def());
    for (const auto& f : {fld::TXMENSBOLBOL, fld::VRFINALBREC, fld::NRBAIXAREC, fld::CDEMPRESA}) {
      d.push_back(f.def());
    }
    return d;
  }();
  return defs;
}
const std::string& storedSelect() {
  static const std::string sql = [] {
    std::string list;
    for (const auto& c : kColumns) list += std::string(list.empty() ? "" : ", ") + c.column;
    for (const auto& f : kCodeFields) list += std::string(", ") + f.name;
    list += ", TXMENSBOLBOL, VRFINALBREC, NRBAIXAREC, CDEMPRESA";
    return "SELECT " + list + " FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n";
  }();
  return sql;
}
size_t storedIndex(std::string_view field) {
  const auto& defs = storedFields();
  for (size_t i = 0; i < defs.size(); ++i)
    if (defs[i].name == field) return i;
  return defs.size();
}
// FTR_DSBOLETREC is stored as DSBOLETREC: the packet's name finds the stored column.
const json& storedValue(const Stored& s, std::string_view field) {
  static const json null;
  const size_t i = storedIndex(field);
  return i < s.row.size() ? s.row.at(i) : null;
}

// The stored receiving data of one boleto, read by a statement prepared once per session: a
// replication reads thousands of boletos, and parsing the SELECT again for each would cost
// more than running it.
struct StoredQuery {
  std::string branch, number;
  soci::row row;
  soci::statement st;
  explicit StoredQuery(soci::session& sql)
      : st((sql.prepare << storedSelect(), soci::use(branch), soci::use(number), soci::into(row))) {
  }
};

std::optional<Stored> readStored(CallContext& ctx, const std::string& branch,
                                 const std::string& number) {
  auto& q = ctx.database().prepared<StoredQuery>(
      "SetDadosRec.stored", [](soci::session& sql) { return std::make_unique<StoredQuery>(sql); });
  q.branch = branch;
  q.number = number;
  std::optional<Stored> s;
  // The key is unique; fetching to the end releases the statement.
  for (bool got = q.st.execute(true); got; got = q.st.fetch()) {
    if (s) continue;
    s.emplace(Stored{{}, packetRow(q.row, storedFields())});
    const json& company = s->row.back();
    s->company = company.is_string() ? company.get<std::string>() : std::string();
  }
  return s;
}

std::string textOf(const json& v) {
  return v.is_string() ? host::AllTrim(v.get<std::string>()) : std::string();
}

struct Target {
  std::string branch, number;
  Stored stored;
  // Column -> value to write.
  std::vector<std::pair<const char*, json>> writes;
};

// Why a boleto may no longer change: the key of the register's table, or "".
std::string lockedReason(const Stored& s) {
  if (textOf(storedValue(s, fld::IDSTATBREC)) == "D") return "BOL_DESC";
  if (textOf(storedValue(s, fld::IDSTATBREC)) == "B" ||
      !textOf(storedValue(s, fld::NRBAIXAREC)).empty()) {
    return "BOL_BAIXA";
  }
  return {};
}

// A stored nosso número ties the boleto to its account: another account would need another
// number, and a stored number never changes.
bool accountLeavesNumber(const Stored& s, const std::string& account) {
  return !textOf(storedValue(s, fld::CDNOSNUMREC)).empty() &&
         textOf(storedValue(s, fld::CDREDUCONT)) != account;
}

// One UPDATE of a set of columns, each bound as a number or a text, prepared once and run for
// every boleto that writes that same set: the replicated columns are the same on every marked
// boleto, so a call prepares a handful of statements, not one per boleto.
class Updates {
 public:
  explicit Updates(soci::session& sql) : sql_(sql) {}

  void write(const Target& t) {
    if (t.writes.empty()) return;
    std::string sql = "UPDATE BOLRECEBER SET ";
    std::string kinds;
    for (size_t i = 0; i < t.writes.size(); ++i) {
      sql += fmt::format("{}{} = :v{}", i ? ", " : "", t.writes[i].first, i);
      kinds += t.writes[i].second.is_number() ? 'n' : 't';
    }
    sql += " WHERE CDFILIAL = :f AND NRLANBOLREC = :n";
    auto& q = statements_[sql + '/' + kinds];
    if (!q) q = std::make_unique<Update>(sql_, sql, kinds);
    for (size_t i = 0; i < t.writes.size(); ++i) {
      const json& v = t.writes[i].second;
      q->inds[i] = soci::i_ok;
      if (v.is_number()) {
        q->numbers[i] = v.get<double>();
      } else if (v.is_string()) {
        q->texts[i] = v.get<std::string>();
        if (host::AllTrim(q->texts[i]).empty()) q->inds[i] = soci::i_null;
      } else {
        q->inds[i] = soci::i_null;
      }
    }
    q->branch = t.branch;
    q->number = t.number;
    q->st.execute(true);
  }

 private:
  // The bound values live beside the statement: soci binds them by reference.
  struct Update {
    std::vector<std::string> texts;
    std::vector<double> numbers;
    std::vector<soci::indicator> inds;
    std::string branch, number;
    soci::statement st;
    Update(soci::session& sql, const std::string& text, const std::string& kinds)
        : texts(kinds.size()), numbers(kinds.size()), inds(kinds.size(), soci::i_ok), st(sql) {
      st.alloc();
      st.prepare(text);
      for (size_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i] == 'n') {
          st.exchange(soci::use(numbers[i], inds[i]));
        } else {
          st.exchange(soci::use(texts[i], inds[i]));
        }
      }
      st.exchange(soci::use(branch));
      st.exchange(soci::use(number));
      st.define_and_bind();
    }
  };
  soci::session& sql_;
  std::unordered_map<std::string, std::unique_ptr<Update>> statements_;
};

// A value of the packet as the database keeps it: a date as "yyyy-mm-dd", a number to 3
// decimals; a text longer than its field, or of another kind, is refused.
json storedForm(const json& v, const records::Field& f) {
  if (v.is_null()) return v;
  switch (f.type) {
    case host::FieldType::Date:
      if (v.is_string() && host::DateTime::parseIso(v.get<std::string>())) {
        return v.get<std::string>().substr(0, 10);
      }
      break;
    case host::FieldType::Float:
    case host::FieldType::Integer:
      if (v.is_number()) return host::RoundDec(3, v.get<double>());
      break;
    default:
      if (v.is_string()) {
        const std::string text = v.get<std::string>();
        if (f.size > 0 && host::Utf8Length(text) > static_cast<size_t>(f.size)) {
          throw Refusal("ARG_TAMANHO",
                        fmt::format("SetDadosRec: {} tem {} caracteres; o campo aceita {}.", f.name,
                                    host::Utf8Length(text), f.size));
        }
        return text;
      }
      break;
  }
  throw Refusal("ARG_TIPO", fmt::format("SetDadosRec: valor de {} inválido.", f.name));
}

json result(const std::string& key) {
  json p{{"fields", packetFields(records::cdsResultado().fields())}, {"rows", json::array()}};
  if (!key.empty()) p["rows"].push_back({key});
  return p;
}

json setDadosRec(CallContext& ctx, const json& marca, const json& posicao, int64_t mode,
                 const std::string& message, const std::string& remittanceControl) {
  PacketRows pos(posicao, "cdsPosicao");
  if (pos.size() != 1) {
    throw Refusal("ARG_INVALIDO",
                  fmt::format("SetDadosRec: cdsPosicao deve ter uma linha, não {}.", pos.size()));
  }
  for (const auto& f : {fld::CDFILIAL, fld::NRLANBOLREC}) {
    if (!pos.has(f)) {
      throw Refusal("ARG_INVALIDO", fmt::format("SetDadosRec: cdsPosicao não traz {}.", f.name));
    }
  }
  PacketRows marked(marca, "cdsMarca");
  const bool replicate = mode == 1 && marked.size() > 1;
  if (replicate && (!marked.has(fld::CDFILIAL) || !marked.has(fld::NRLANBOLREC))) {
    throw Refusal("ARG_INVALIDO", "SetDadosRec: cdsMarca não traz CDFILIAL e NRLANBOLREC.");
  }

  // --- the boleto the register stands on
  Target own{rpc::detail::padded(pos.text(0, fld::CDFILIAL), fld::CDFILIAL.size),
             rpc::detail::padded(pos.text(0, fld::NRLANBOLREC), fld::NRLANBOLREC.size),
             {},
             {}};
  auto stored = readStored(ctx, own.branch, own.number);
  if (!stored) {
    throw Refusal("ALT_BLOQ", fmt::format("SetDadosRec: o boleto {}/{} não existe mais.",
                                          own.branch, own.number));
  }
  own.stored = std::move(*stored);
  ctx.requireCompany(own.stored.company);
  if (auto why = lockedReason(own.stored); !why.empty()) return result(why);
  for (const auto& c : kColumns) {
    if (!pos.has(c.field)) continue;
    // A value of the wrong kind is a malformed call, whatever the database holds.
    json wanted = storedForm(pos.value(0, c.field), c.field);
    storedForm(pos.original(0, c.field), c.field);
    if (!same(pos.original(0, c.field), storedValue(own.stored, c.field), c.field.type)) {
      throw Refusal("ALT_BLOQ",
                    fmt::format("SetDadosRec: {} do boleto {}/{} foi alterado por outro usuário.",
                                c.field.name, own.branch, own.number));
    }
    own.writes.emplace_back(c.column, std::move(wanted));
  }
  const std::string account = pos.text(0, fld::CDREDUCONT);
  if (pos.has(fld::CDREDUCONT) && accountLeavesNumber(own.stored, account))
    return result("NNUM_FIXO");
  for (const auto& f : kCodeFields) {
    const std::string wanted = pos.text(0, f);
    const std::string now = textOf(storedValue(own.stored, f));
    if (now.empty() && !wanted.empty()) own.writes.emplace_back(f.name, storedForm(wanted, f));
  }
  // The message as the register read it must still be the boleto's.
  if (pos.has(fld::TXMENSBOLBOL) &&
      !same(pos.original(0, fld::TXMENSBOLBOL), storedValue(own.stored, fld::TXMENSBOLBOL),
            host::FieldType::String)) {
    throw Refusal("ALT_BLOQ",
                  fmt::format("SetDadosRec: a mensagem do boleto {}/{} foi alterada por outro "
                              "usuário.",
                              own.branch, own.number));
  }
  own.writes.emplace_back("TXMENSBOLBOL", storedForm(message, fld::TXMENSBOLBOL));

  // --- the marked boletos, when the operator replicates
  std::vector<Target> others;
  if (replicate) {
    // Only what the operator changed on the position travels: the rest of each boleto's
    // receiving data (its own due date, its own account) stays its own.
    std::vector<const Column*> changed;
    for (const auto& c : kColumns) {
      if (c.replicated && pos.has(c.field) &&
          !same(pos.original(0, c.field), pos.value(0, c.field), c.field.type)) {
        changed.push_back(&c);
      }
    }
    const bool accountChanged = std::any_of(changed.begin(), changed.end(), [](const Column* c) {
      return std::string_view(c->field.name) == "CDREDUCONT";
    });
    others.reserve(marked.size());
    for (size_t r = 0; r < marked.size(); ++r) {
      Target t{rpc::detail::padded(marked.text(r, fld::CDFILIAL), fld::CDFILIAL.size),
               rpc::detail::padded(marked.text(r, fld::NRLANBOLREC), fld::NRLANBOLREC.size),
               {},
               {}};
      if (t.branch == own.branch && t.number == own.number) continue;
      auto s = readStored(ctx, t.branch, t.number);
      if (!s) {
        throw Refusal("ALT_BLOQ", fmt::format("SetDadosRec: o boleto {}/{} não existe mais.",
                                              t.branch, t.number));
      }
      t.stored = std::move(*s);
      ctx.requireCompany(t.stored.company);
      if (auto why = lockedReason(t.stored); !why.empty()) return result(why);
      // What the register knew of the boleto when it was marked must still hold.
      for (const auto& f :
           {fld::DTVENBOLREC, fld::IDSTATBREC, fld::IDSITUCNABR, fld::CDREDUCONT, fld::VRFINALBREC,
            fld::IDPROTESTREC, fld::CDFILORIG, fld::IDIMPRBOLBOL, fld::VRPEMULBREC,
            fld::VRMULTABREC, fld::VRPEMORBREC, fld::VRMORDIABREC}) {
        if (!marked.has(f)) continue;
        if (!same(marked.original(r, f), storedValue(t.stored, f), f.type)) {
          throw Refusal("ALT_BLOQ",
                        fmt::format("SetDadosRec: {} do boleto {}/{} foi alterado por outro "
                                    "usuário.",
                                    f.name, t.branch, t.number));
        }
      }
      if (accountChanged && accountLeavesNumber(t.stored, account)) return result("NNUM_FIXO");
      const bool inRemittance = !textOf(storedValue(t.stored, fld::NRCNABRECREM)).empty();
      if (remittanceControl == "S" && inRemittance) return result("BOL_ALTERADO");
      for (const Column* c : changed) {
        t.writes.emplace_back(c->column, storedForm(pos.value(0, c->field), c->field));
      }
      for (const auto& f : kFineFields) {
        if (!marked.has(f) || marked.value(r, f).is_null()) continue;
        t.writes.emplace_back(f.name, storedForm(marked.value(r, f), f));
      }
      if (remittanceControl == "N") {
        // The operator agreed to take the marked boletos out of their remittance.
        t.writes.emplace_back("IDSITUCNABR", "00");
        t.writes.emplace_back("NRCNABRECREM", nullptr);
      }
      others.push_back(std::move(t));
    }
  }

  Updates updates(ctx.sql());
  updates.write(own);
  for (const auto& t : others) updates.write(t);
  return result("");
}

}  // namespace

void registerDadosRec(Dispatcher& d) {
  d.on<rpc::SetDadosRec>([](CallContext& ctx, rpc::SetDadosRec& a) {
    try {
      return remote::Variant::packet(setDadosRec(
          ctx, a.cdsMarca.value().packetJson(), a.cdsPosicao.value().packetJson(),
          a.confirmMode.value(), a.TXMENSBOLBOL.value(), host::AllTrim(a.IDUTCTRLCANREMR.value())));
    } catch (const nlohmann::json::exception& e) {
      throw Refusal("ARG_INVALIDO", fmt::format("SetDadosRec: pacote malformado: {}", e.what()));
    }
  });
}

}  // namespace service
