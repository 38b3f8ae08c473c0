// Report designs: the stored templates and the datasets they read (see Relatorios.h).

#include "service/Relatorios.h"

#include <fmt/format.h>

#include <map>
#include <memory>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/bank/BankLayout.h"
#include "module/Records.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"

namespace service {

namespace {

using nlohmann::json;

constexpr const char* kNaoCadastrado = "RELATORIO_NC";
constexpr size_t kReferenceSize = 255;
constexpr const char* kLocalPagamento = "Pagável em qualquer banco até o vencimento";

// ---------------------------------------------------------------------------- templates

/// The file-name part of a template path written with either separator.
std::string fileNameOf(const std::string& path) {
  std::string name = host::AllTrim(path);
  const size_t sep = name.find_last_of("/\\");
  return sep == std::string::npos ? name : name.substr(sep + 1);
}

struct StoredTemplate {
  std::string name;
  std::optional<host::DateTime> date;
  std::string version;
};

std::string textOr(const soci::row& r, size_t i) {
  return r.get_indicator(i) == soci::i_null ? std::string() : r.get<std::string>(i);
}

std::optional<StoredTemplate> findTemplate(soci::session& sql, const std::string& fileName) {
  // Names are matched as the host's file system matches them: "ModelEsp.qr2" is
  // "MODELESP.QR2".
  soci::rowset<soci::row> rows =
      (sql.prepare << "SELECT NMARQUIVO, DTALTERACAO, NRVERSAO FROM MODELORELAT WHERE "
                      "UPPER(NMARQUIVO) = UPPER(:n) ORDER BY NMARQUIVO",
       soci::use(fileName));
  std::optional<StoredTemplate> found;
  for (const auto& r : rows) {
    if (found) continue;  // fetched to the end, so the statement keeps no snapshot
    found =
        StoredTemplate{r.get<std::string>(0), host::DateTime::parseIso(textOr(r, 1)), textOr(r, 2)};
  }
  return found;
}

StoredTemplate requireTemplate(soci::session& sql, const std::string& path) {
  const std::string name = fileNameOf(path);
  auto t = name.empty() ? std::nullopt : findTemplate(sql, name);
  if (!t)
    throw Refusal(kNaoCadastrado,
                  fmt::format("o modelo de relatório \"{}\" não está cadastrado", name));
  return *t;
}

// ---------------------------------------------------------------------------- bindings

/// The bindings of a dataset request by upper-case name.
std::map<std::string, host::Value> bindingsOf(const remote::Variant& arg) {
  std::map<std::string, host::Value> out;
  if (arg.isPacket()) {
    host::ClientDataset ds("bindings");
    try {
      ds.loadPacket(arg.packetJson());
    } catch (const std::invalid_argument& e) {
      throw Refusal("ARG_INVALIDO", fmt::format("pacote de vínculos malformado: {}", e.what()));
    }
    if (ds.isEmpty()) return out;
    ds.first();
    for (const auto& f : ds.fieldDefs()) out[host::UpperCase(f.name)] = ds.valueOf(f.name);
    return out;
  }
  if (arg.isNull()) return out;
  if (!arg.isArray())
    throw Refusal("ARG_TIPO",
                  "os vínculos devem ser uma lista de pares [nome, valor] ou um pacote");
  for (const auto& pair : arg.items()) {
    if (!pair.isArray() || pair.items().size() != 2 ||
        pair.items()[0].kind() != remote::Variant::Kind::Text || !pair.items()[1].isScalar())
      throw Refusal("ARG_TIPO", "cada vínculo deve ser um par [nome, valor]");
    out[host::UpperCase(pair.items()[0].asString())] = pair.items()[1].value();
  }
  return out;
}

/// A code binding padded to its width; refused when longer.
std::string codeBinding(const host::Value& v, const records::Field& field) {
  const char* name = field.name;
  const auto width = static_cast<size_t>(field.size);
  const std::string text = host::AllTrim(v.isNull() ? std::string() : v.asString());
  if (host::Utf8Length(text) > width)
    throw Refusal("ARG_TAMANHO",
                  fmt::format("{} \"{}\" tem mais de {} caracteres", name, text, width));
  return text.empty() ? text : host::Ajusta(text, width);
}

struct BoletoKey {
  std::string branch, number;
};

/// The boletos a request names: one key, the keys of a selection list, or the empty key of
/// a test print (`example`).
struct Selection {
  std::vector<BoletoKey> keys;
  bool example = false;
};

Selection selectionOf(CallContext& ctx, const std::string& dataset,
                      const std::map<std::string, host::Value>& bindings) {
  Selection s;
  for (const auto& [name, value] : bindings) {
    if (name != "CDFILIAL" && name != "NRLANBOLREC" && name != "NRLISTA")
      throw Refusal("ARG_INVALIDO",
                    fmt::format("o conjunto de dados {} não tem o parâmetro {}", dataset, name));
  }
  if (auto it = bindings.find("NRLISTA"); it != bindings.end()) {
    if (bindings.size() != 1)
      throw Refusal("ARG_INVALIDO", "NRLISTA se vincula sozinho, sem chave de boleto");
    std::string list = codeBinding(it->second, records::fld::NRLISTA);
    soci::rowset<std::string> keys =
        (ctx.sql().prepare << "SELECT CDLISTA FROM LISTAITEM WHERE NRLISTA = :n ORDER BY CDLISTA",
         soci::use(list));
    for (const auto& k : keys)
      if (k.size() == 14) s.keys.push_back({k.substr(0, 4), k.substr(4)});
    return s;
  }
  auto branch = bindings.find("CDFILIAL");
  auto number = bindings.find("NRLANBOLREC");
  if (branch == bindings.end() || number == bindings.end())
    throw Refusal(
        "ARG_INVALIDO",
        fmt::format("o conjunto de dados {} se vincula por CDFILIAL e NRLANBOLREC, ou por NRLISTA",
                    dataset));
  BoletoKey k{codeBinding(branch->second, records::fld::CDFILIAL),
              codeBinding(number->second, records::fld::NRLANBOLREC)};
  if (k.branch.empty() && k.number.empty())
    s.example = true;
  else
    s.keys.push_back(k);
  return s;
}

/// The boletos of a carnê, in the order named: `CHAVES` holds "_" + branch and number for
/// each boleto; or `CDFILIAL` with `NRLANBOLREC` holding "_" + number for each boleto of
/// that branch. A key that is not one of the company's boletos is refused.
Selection carneSelectionOf(CallContext& ctx, const std::map<std::string, host::Value>& bindings) {
  for (const auto& [name, value] : bindings)
    if (name != "CDFILIAL" && name != "NRLANBOLREC" && name != "CHAVES")
      throw Refusal("ARG_INVALIDO", fmt::format("the dataset CARNE has no parameter {}", name));
  auto items = [](const host::Value& v) {
    std::vector<std::string> out;
    const std::string text = v.isNull() ? std::string() : v.asString();
    size_t at = 0;
    while (at < text.size()) {
      size_t next = text.find('_', at);
      if (next == std::string::npos) next = text.size();
      const std::string item = host::AllTrim(text.substr(at, next - at));
      if (!item.empty()) out.push_back(item);
      at = next + 1;
    }
    return out;
  };
  Selection s;
  if (auto it = bindings.find("CHAVES"); it != bindings.end()) {
    for (const auto& key : items(it->second)) {
      if (key.size() != 14 || !host::IsDigits(key))
        throw Refusal("ARG_INVALIDO", fmt::format("CARNE: \"{}\" is no boleto key", key));
      s.keys.push_back({key.substr(0, 4), key.substr(4)});
    }
  } else {
    auto branch = bindings.find("CDFILIAL");
    auto numbers = bindings.find("NRLANBOLREC");
    if (branch == bindings.end() || numbers == bindings.end())
      throw Refusal("ARG_INVALIDO",
                    "the dataset CARNE is bound by CHAVES, or by CDFILIAL and "
                    "NRLANBOLREC");
    const std::string b = codeBinding(branch->second, records::fld::CDFILIAL);
    for (const auto& n : items(numbers->second))
      s.keys.push_back({b, codeBinding(host::Value(n), records::fld::NRLANBOLREC)});
  }
  const std::string company = ctx.company();
  for (const auto& k : s.keys) {
    int found = 0;
    ctx.sql() << "SELECT COUNT(*) FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n AND "
                 "CDEMPRESA = :e",
        soci::use(k.branch), soci::use(k.number), soci::use(company), soci::into(found);
    if (found == 0)
      throw Refusal("BOL_NC", fmt::format("Boleto {}/{} não cadastrado para a empresa {}.",
                                          k.branch, k.number, company));
  }
  return s;
}

// ---------------------------------------------------------------------------- datasets

// A column of the joined tables as the query reads it, whole: texts as memos, dates, amounts.
host::FieldDef memo(const char* column) {
  return records::Field{column, host::FieldType::Memo, 0}.def();
}
host::FieldDef date(const char* column) {
  return records::Field{column, host::FieldType::Date, 0}.def();
}
host::FieldDef money(const char* column) {
  return records::Field{column, host::FieldType::Float, 0}.def();
}

/// Columns of the stored boleto and what it is joined with, read by name.
const std::vector<host::FieldDef>& sourceFields() {
  static const std::vector<host::FieldDef> fields{
      memo("B.CDFILIAL"),     memo("B.NRLANBOLREC"),   memo("B.DSLINHABARREC"),
      memo("B.CDBARRAREC"),   date("B.DTVENBOLREC"),   date("B.DTEMISSAO"),
      memo("B.CDNOSNUMREC"),  memo("B.CDCARTCOBBOL"),  money("B.VRFINALBREC"),
      money("B.VRMULTABREC"), money("B.VRMORDIABREC"), memo("B.TXMENSBOLBOL"),
      memo("B.CDDEPIDENREC"), memo("K.CDBANCO"),       memo("K.CDBANCCNAB"),
      memo("K.CDBANCOCONV"),  memo("K.CDAGENCIA"),     memo("K.CDCEDENTEBAN"),
      memo("K.CDCONTCORR"),   memo("K.TXMENSBOLETO"),  memo("E.NMEMPRESA"),
      memo("E.NRINSJUREMPR"), memo("F.NRINSJURFILI"),  date("F.DTPROCFILI"),
      memo("A.DSENDEFILI"),   memo("A.NMBAIRFILI"),    memo("A.NMCIDAFILI"),
      memo("A.SGESTADO"),     memo("C.NMRAZSOCCLIE"),  memo("C.NRINSJURCLIE"),
      memo("C.DSENDECLIE"),   memo("C.NMBAIRCLIE"),    memo("C.NMCIDACLIE"),
      memo("C.SGESTADO"),     memo("C.NRCEPCLIE"),     memo("B.DSPIXBOLREC")};
  return fields;
}

/// One fetched row by column name ("B.CDFILIAL").
class Source {
 public:
  Source(const json& row, const std::vector<host::FieldDef>& fields) {
    for (size_t i = 0; i < fields.size(); ++i) values_[fields[i].name] = row.at(i);
  }
  std::string str(const std::string& name) const {
    const json& v = values_.at(name);
    return v.is_string() ? host::AllTrim(v.get<std::string>()) : std::string();
  }
  json raw(const std::string& name) const { return values_.at(name); }

 private:
  std::map<std::string, json> values_;
};

/// "Rua X, 10 - Centro - Curitiba - PR": the parts that are filled, joined.
std::string joined(std::initializer_list<std::string> parts) {
  std::string out;
  for (const auto& p : parts) {
    if (p.empty()) continue;
    if (!out.empty()) out += " - ";
    out += p;
  }
  return out;
}

std::string formattedCep(const std::string& cep) {
  std::string digits;
  for (char c : cep)
    if (c >= '0' && c <= '9') digits += c;
  return digits.size() == 8 ? digits.substr(0, 5) + "-" + digits.substr(5) : cep;
}

/// A statement prepared once per session: a run reads these for every boleto it prints.
template <class Query>
Query& prepared(CallContext& ctx, const char* key) {
  return ctx.database().prepared<Query>(
      key, [](soci::session& sql) { return std::make_unique<Query>(sql); });
}

struct BankNameQuery {
  std::string bank, name;
  soci::indicator ind = soci::i_null;
  soci::statement st;
  explicit BankNameQuery(soci::session& sql)
      : st((sql.prepare << "SELECT NMBANCO FROM BANCO WHERE CDBANCO = :b", soci::use(bank),
            soci::into(name, ind))) {}
};

std::string bankName(CallContext& ctx, const std::string& bank) {
  auto& q = prepared<BankNameQuery>(ctx, "Relatorios.bank");
  q.bank = bank;
  q.ind = soci::i_null;
  std::string name;
  for (bool got = q.st.execute(true); got; got = q.st.fetch())
    if (name.empty() && q.ind == soci::i_ok) name = q.name;
  return name;
}

/// The document printed on the boleto and the note behind it: the first receivable's note
/// ("number/series", as the register shows it), or its duplicate when it has no note.
struct Documento {
  std::string numero, notaFiscal, observacao;
};

struct DocumentQuery {
  std::string branch, number;
  soci::row row;
  soci::statement st;
  explicit DocumentQuery(soci::session& sql)
      : st((sql.prepare << "SELECT R.NRNOTAFISC, R.CDSERIE, R.NRDUPLICATA, N.TXOBSNF FROM "
                           "CTRECEBER R LEFT JOIN NOTAFISCAL N ON N.CDFILIAL = "
                           "COALESCE(R.CDFILIEMIT, R.CDFILIAL) AND N.NRNOTAFISC = R.NRNOTAFISC "
                           "AND COALESCE(N.CDSERIE, '') = COALESCE(R.CDSERIE, '') WHERE "
                           "R.CDFILBOLREC = :f AND R.NRLANBOLREC = :n ORDER BY R.CDFILIAL, "
                           "R.NRCTRECEBER",
            soci::use(branch), soci::use(number), soci::into(row))) {}
};

Documento documentOf(CallContext& ctx, const BoletoKey& k) {
  auto& q = prepared<DocumentQuery>(ctx, "Relatorios.document");
  q.branch = k.branch;
  q.number = k.number;
  Documento d;
  bool first = true;
  for (bool got = q.st.execute(true); got; got = q.st.fetch()) {
    if (!first) continue;
    first = false;
    const soci::row& r = q.row;
    const std::string nota = host::AllTrim(textOr(r, 0));
    const std::string serie = host::AllTrim(textOr(r, 1));
    d.notaFiscal = nota;
    d.observacao = textOr(r, 3);
    if (!nota.empty())
      d.numero = serie.empty() ? nota : nota + "/" + serie;
    else
      d.numero = host::AllTrim(textOr(r, 2));
  }
  return d;
}

json boletoRow(CallContext& ctx, const Source& s, const BoletoKey& k, const std::string& today) {
  const std::string barcode = s.str("B.CDBARRAREC");
  // The bank the barcode was drawn for; before numbering, the bank the emission would use.
  std::string bank = barcode.size() == 44
                         ? barcode.substr(0, 3)
                         : bank::CodigoEmissao(s.str("K.CDBANCCNAB"), s.str("K.CDBANCOCONV"));
  if (bank.empty()) bank = s.str("K.CDBANCO");
  std::string beneficiaryDoc = s.str("F.NRINSJURFILI");
  if (beneficiaryDoc.empty()) beneficiaryDoc = s.str("E.NRINSJUREMPR");
  std::string instructions = s.str("B.TXMENSBOLBOL");
  if (instructions.empty()) instructions = s.str("K.TXMENSBOLETO");
  json processing = s.raw("F.DTPROCFILI");
  if (processing.is_null()) processing = today;
  const Documento doc = documentOf(ctx, k);
  return json::array({k.branch,
                      k.number,
                      bankName(ctx, bank),
                      bank::CodigoComDigito(bank),
                      s.str("B.DSLINHABARREC"),
                      barcode,
                      kLocalPagamento,
                      s.raw("B.DTVENBOLREC"),
                      s.str("E.NMEMPRESA"),
                      beneficiaryDoc,
                      joined({s.str("A.DSENDEFILI"), s.str("A.NMBAIRFILI"), s.str("A.NMCIDAFILI"),
                              s.str("A.SGESTADO")}),
                      s.str("K.CDAGENCIA"),
                      s.str("K.CDCEDENTEBAN"),
                      s.str("K.CDCONTCORR"),
                      s.raw("B.DTEMISSAO"),
                      doc.numero,
                      "DM",
                      "N",
                      processing,
                      s.str("B.CDNOSNUMREC"),
                      s.str("B.CDCARTCOBBOL"),
                      s.raw("B.VRFINALBREC"),
                      s.raw("B.VRMULTABREC"),
                      s.raw("B.VRMORDIABREC"),
                      instructions,
                      s.str("C.NMRAZSOCCLIE"),
                      s.str("C.NRINSJURCLIE"),
                      s.str("C.DSENDECLIE"),
                      s.str("C.NMBAIRCLIE"),
                      formattedCep(s.str("C.NRCEPCLIE")),
                      s.str("C.NMCIDACLIE"),
                      s.str("C.SGESTADO"),
                      s.str("B.CDDEPIDENREC"),
                      doc.notaFiscal,
                      doc.observacao,
                      s.str("B.DSPIXBOLREC")});
}

/// The row a test print shows: the company as beneficiary, nothing payable.
json exampleRow(soci::session& sql, const std::string& company, const std::string& today) {
  std::string name, cnpj, address, district, city, state;
  soci::indicator i1 = soci::i_null, i2 = soci::i_null, i3 = soci::i_null, i4 = soci::i_null,
                  i5 = soci::i_null;
  sql << "SELECT E.NMEMPRESA, E.NRINSJUREMPR, A.DSENDEFILI, A.NMBAIRFILI, A.NMCIDAFILI, "
         "A.SGESTADO FROM EMPRESA E LEFT JOIN FILIAL F ON F.CDEMPRESA = E.CDEMPRESA LEFT JOIN "
         "ENDEFILI A ON A.CDFILIAL = F.CDFILIAL WHERE E.CDEMPRESA = :e ORDER BY F.CDFILIAL "
         "LIMIT 1",
      soci::use(company), soci::into(name), soci::into(cnpj, i1), soci::into(address, i2),
      soci::into(district, i3), soci::into(city, i4), soci::into(state, i5);
  auto val = [](const std::string& s, soci::indicator i) { return i == soci::i_ok ? s : ""; };
  return json::array({"",
                      "",
                      "",
                      "",
                      "",
                      "",
                      kLocalPagamento,
                      today,
                      name,
                      val(cnpj, i1),
                      joined({val(address, i2), val(district, i3), val(city, i4), val(state, i5)}),
                      "",
                      "",
                      "",
                      today,
                      "",
                      "DM",
                      "N",
                      today,
                      "",
                      "",
                      0.0,
                      0.0,
                      0.0,
                      "",
                      "Pagador de teste",
                      "",
                      "",
                      "",
                      "",
                      "",
                      "",
                      "",
                      "",
                      "",
                      ""});
}

json emptyPacket(const std::vector<host::FieldDef>& fields) {
  return {{"fields", packetFields(fields)}, {"rows", json::array()}};
}

/// The BOLETO rows of one boleto; the columns are read by position, in the order of
/// sourceFields().
std::string boletoSelect() {
  std::string select;
  for (const auto& f : sourceFields()) select += (select.empty() ? "" : ", ") + f.name;
  return fmt::format(
      "SELECT {} FROM BOLRECEBER B JOIN EMPRESA E ON E.CDEMPRESA = B.CDEMPRESA "
      "JOIN FILIAL F ON F.CDFILIAL = B.CDFILIAL LEFT JOIN ENDEFILI A ON A.CDFILIAL = B.CDFILIAL "
      "JOIN CLIENTE C ON C.CDCLIENTE = B.CDCLIENTE LEFT JOIN CONTCORR K ON K.CDEMPRESA = "
      "B.CDEMPRESA AND K.CDREDUCONT = B.CDREDUCONT "
      "WHERE B.CDFILIAL = :f AND B.NRLANBOLREC = :n AND B.CDEMPRESA = :e",
      select);
}

json boletoDataset(CallContext& ctx, const Selection& sel) {
  json packet = emptyPacket(records::RelatorioBoleto().fields());
  const std::string company = ctx.company();
  if (sel.example) {
    packet["rows"].push_back(exampleRow(ctx.sql(), company, ctx.today().iso()));
    return packet;
  }
  // Prepared once per session: a run fetches the BOLETO of every boleto it prints, and this
  // join costs more to parse than to run.
  struct BoletoQuery {
    std::string branch, number, company;
    soci::row row;
    soci::statement st;
    explicit BoletoQuery(soci::session& sql)
        : st((sql.prepare << boletoSelect(), soci::use(branch), soci::use(number),
              soci::use(company), soci::into(row))) {}
  };
  auto& q = ctx.database().prepared<BoletoQuery>(
      "Relatorios.boleto", [](soci::session& sql) { return std::make_unique<BoletoQuery>(sql); });
  for (const auto& k : sel.keys) {
    q.branch = k.branch;
    q.number = k.number;
    q.company = company;
    std::vector<json> found;
    for (bool got = q.st.execute(true); got; got = q.st.fetch())
      found.push_back(packetRow(q.row, sourceFields()));
    for (const auto& row : found)
      packet["rows"].push_back(boletoRow(ctx, Source(row, sourceFields()), k, ctx.today().iso()));
  }
  return packet;
}

json itemsDataset(CallContext& ctx, const Selection& sel) {
  json packet = emptyPacket(records::RelatorioItensNF().fields());
  const std::string company = ctx.company();
  using namespace records::fld;
  const std::vector<host::FieldDef> source{DSITEMNF.def(), QTITEMNF.def(), VRUNITNF.def(),
                                           VRTOTITEMNF.def()};
  for (const auto& k : sel.keys) {
    // The notes of the boleto's receivables, each once, in the receivables' order.
    soci::rowset<soci::row> rows =
        (ctx.sql().prepare
             << "SELECT I.DSITEMNF, I.QTITEMNF, I.VRUNITNF, I.VRTOTITEMNF FROM ITEMNOTAFISC I "
                "JOIN NOTAFISCAL N ON N.CDFILIAL = I.CDFILIAL AND N.NRLANCTONF = I.NRLANCTONF "
                "JOIN (SELECT COALESCE(R.CDFILIEMIT, R.CDFILIAL) AS CDFILNOTA, R.NRNOTAFISC, "
                "R.CDSERIE, MIN(R.NRCTRECEBER) AS PRIMEIRO FROM CTRECEBER R JOIN BOLRECEBER B ON "
                "B.CDFILIAL = R.CDFILBOLREC AND B.NRLANBOLREC = R.NRLANBOLREC WHERE "
                "R.CDFILBOLREC = :f AND R.NRLANBOLREC = :n AND B.CDEMPRESA = :e GROUP BY "
                "COALESCE(R.CDFILIEMIT, R.CDFILIAL), R.NRNOTAFISC, R.CDSERIE) D ON "
                "D.CDFILNOTA = N.CDFILIAL AND D.NRNOTAFISC = N.NRNOTAFISC AND COALESCE(D.CDSERIE, "
                "'') = COALESCE(N.CDSERIE, '') ORDER BY D.PRIMEIRO, N.NRLANCTONF, I.NRITEMNF",
         soci::use(k.branch), soci::use(k.number), soci::use(company));
    for (const auto& r : rows) {
      json item = packetRow(r, source);
      json row = json::array({k.branch, k.number});
      for (auto& v : item) row.push_back(std::move(v));
      packet["rows"].push_back(std::move(row));
    }
  }
  return packet;
}

}  // namespace

std::string templateVersion(const std::string& text) {
  if (text.size() < 9 || text.back() != '#') return {};
  return text.substr(text.size() - 9, 8);
}

void registerRelatorios(Dispatcher& d) {
  // The company is needed only by the datasets, which read boletos of the caller's company.
  d.on<rpc::RetornaRelatorio>([](CallContext& ctx, rpc::RetornaRelatorio& a) {
    const StoredTemplate t = requireTemplate(ctx.sql(), a.NMARQUIVO.value());
    a.NMARQUIVO.set(t.name);
    const std::string reference =
        host::Utf8Substr(std::string(rpc::kQRDesign) + "/" + t.name, 0, kReferenceSize);
    const std::string stamp = t.date ? t.date->format("yyyymmddhhnnss") : "";
    return remote::Variant(reference + "\n" + stamp);
  });

  d.on<rpc::GetDadosRel>([](CallContext& ctx, rpc::GetDadosRel& a) {
    const std::string name = fileNameOf(a.NMARQUIVO.value());
    auto t = name.empty() ? std::nullopt : findTemplate(ctx.sql(), name);
    if (!t || !t->date)
      return remote::Variant::array(
          {remote::Variant(int64_t{0}), remote::Variant(""), remote::Variant("")});
    return remote::Variant::array(
        {remote::Variant(*t->date), remote::Variant(t->version), remote::Variant(t->name)});
  });

  d.on<rpc::BaixaModelo>([](CallContext& ctx, rpc::BaixaModelo& a) {
    const std::string name = fileNameOf(a.NMARQUIVO.value());
    const StoredTemplate t = requireTemplate(ctx.sql(), name);
    std::string content;
    soci::indicator ind = soci::i_null;
    ctx.sql() << "SELECT TXCONTEUDO FROM MODELORELAT WHERE NMARQUIVO = :n", soci::use(t.name),
        soci::into(content, ind);
    // A row without content is no template: handing out an empty file would replace a good
    // local copy with nothing.
    if (ind != soci::i_ok || content.empty())
      throw Refusal(kNaoCadastrado,
                    fmt::format("o modelo de relatório \"{}\" não tem conteúdo", t.name));
    return remote::Variant(content);
  });

  d.on<rpc::GetDataSet>([](CallContext& ctx, rpc::GetDataSet& a) {
    const std::string name = host::UpperCase(host::AllTrim(a.DATASET.value()));
    if (name == "CARNE")
      return remote::Variant::packet(
          boletoDataset(ctx, carneSelectionOf(ctx, bindingsOf(a.bindings.value()))));
    if (name != "BOLETO" && name != "ITENSNF")
      throw Refusal("DATASET_DESCONHECIDO",
                    fmt::format("nenhum conjunto de dados de relatório se chama \"{}\"", name));
    const Selection sel = selectionOf(ctx, name, bindingsOf(a.bindings.value()));
    return remote::Variant::packet(name == "BOLETO" ? boletoDataset(ctx, sel)
                                                    : itemsDataset(ctx, sel));
  });
}

void storeTemplate(soci::session& sql, const std::string& name, const std::string& text,
                   const host::DateTime& date) {
  if (name.empty() || name.find_first_of("/\\") != std::string::npos)
    throw std::invalid_argument(fmt::format("\"{}\" is not a template file name", name));
  if (text.empty()) throw std::invalid_argument(fmt::format("the template {} is empty", name));
  try {
    (void)json(text).dump();  // the text crosses the wire as a JSON string
  } catch (const json::exception&) {
    throw std::invalid_argument(fmt::format("the template {} is not UTF-8 text", name));
  }
  const std::string when = date.iso(), version = templateVersion(text);
  auto stored = findTemplate(sql, name);
  if (!stored) {
    sql << "INSERT INTO MODELORELAT (NMARQUIVO, TXCONTEUDO, DTALTERACAO, NRVERSAO) VALUES "
           "(:n, :t, :d, :v)",
        soci::use(name), soci::use(text), soci::use(when), soci::use(version);
    return;
  }
  sql << "UPDATE MODELORELAT SET TXCONTEUDO = :t, DTALTERACAO = :d, NRVERSAO = :v WHERE "
         "NMARQUIVO = :n",
      soci::use(text), soci::use(when), soci::use(version), soci::use(stored->name);
}

int storeShippedTemplates(soci::session& sql) {
  int stored = 0;
  for (const auto& t : shippedTemplates()) {
    const std::string text = t.text;
    const std::string version = templateVersion(text);
    // The build stamps every shipped template: one without a date is a broken build.
    const auto stamped = host::DateTime::parse(t.stamp, "yyyymmddhhnnss");
    BOLETO_CHECK(stamped.has_value(), std::string("shipped template without a date: ") + t.name);
    const host::DateTime date = *stamped;
    auto current = findTemplate(sql, t.name);
    // A design changed on the service since (a later version or date) is kept.
    if (current && !(version > current->version ||
                     (version == current->version && current->date && date > *current->date)))
      continue;
    storeTemplate(sql, t.name, text, date);
    ++stored;
  }
  return stored;
}

void seedReportData(soci::session& sql, bool demoLoaded) {
  storeShippedTemplates(sql);
  if (!demoLoaded) return;
  // The demo notes get two lines each that add up to the note, and a remark.
  struct Nota {
    std::string branch, entry, number;
    double value = 0;
  };
  std::vector<Nota> notas;
  {
    soci::rowset<soci::row> rows =
        (sql.prepare << "SELECT N.CDFILIAL, N.NRLANCTONF, N.NRNOTAFISC, N.VRNOTAFISC FROM "
                        "NOTAFISCAL N WHERE NOT EXISTS (SELECT 1 FROM ITEMNOTAFISC I WHERE "
                        "I.CDFILIAL = N.CDFILIAL AND I.NRLANCTONF = N.NRLANCTONF)");
    for (const auto& r : rows)
      notas.push_back({r.get<std::string>(0), r.get<std::string>(1), r.get<std::string>(2),
                       r.get_indicator(3) == soci::i_ok ? r.get<double>(3) : 0.0});
  }
  for (const auto& n : notas) {
    const double services = host::RoundDec(2, n.value * 0.7);
    const double hours = 4;
    const double hourly = host::RoundDec(2, (n.value - services) / hours);
    const double travel = host::RoundDec(2, n.value - services - host::RoundDec(2, hourly * hours));
    struct Line {
      const char* text;
      double quantity, unit, total;
    };
    const Line lines[] = {
        {"Serviços de manutenção conforme contrato", 1, services, services},
        {"Horas técnicas adicionais", hours, hourly, host::RoundDec(2, hourly * hours)},
        {"Deslocamento técnico", 1, travel, travel}};
    int item = 0;
    for (const auto& l : lines) {
      if (l.total == 0.0) continue;
      std::string description = l.text;
      double quantity = l.quantity, unit = l.unit, total = l.total;
      ++item;
      sql << "INSERT INTO ITEMNOTAFISC (CDFILIAL, NRLANCTONF, NRITEMNF, DSITEMNF, QTITEMNF, "
             "VRUNITNF, VRTOTITEMNF) VALUES (:f, :l, :i, :d, :q, :u, :t)",
          soci::use(n.branch), soci::use(n.entry), soci::use(item), soci::use(description),
          soci::use(quantity), soci::use(unit), soci::use(total);
    }
    std::string remark = "Referente à nota fiscal " + n.number + ". Serviços prestados no mês.";
    sql << "UPDATE NOTAFISCAL SET TXOBSNF = :o WHERE CDFILIAL = :f AND NRLANCTONF = :l",
        soci::use(remark), soci::use(n.branch), soci::use(n.entry);
  }
}

}  // namespace service
