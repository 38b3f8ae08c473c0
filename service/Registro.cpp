// The register's reads and its bank-message update: settings of the caller's company, the
// pages of the current boleto (receivables, message, adjustments, instalments, payment
// types), the filter's look-ups and the selection list of the invoice criterion.

#include <fmt/format.h>

#include <cctype>
#include <optional>
#include <set>

#include "host/DateTime.h"
#include "queries/DirectQueries.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/DirectQueryRunner.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"
#include "service/Rows.h"
#include "service/Sequences.h"

namespace service {

namespace {

using host::FieldDef;
using host::FieldType;
using host::Value;
using remote::Variant;
using Fields = std::vector<FieldDef>;

size_t characters(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// Upper case without accents, for searches: the Latin-1 letters of Portuguese names folded
// to their base letter; other characters kept as they are.
std::string folded(const std::string& text) {
  static const std::pair<const char*, char> kLetters[] = {
      {"á", 'A'}, {"à", 'A'}, {"â", 'A'}, {"ã", 'A'}, {"ä", 'A'}, {"Á", 'A'}, {"À", 'A'},
      {"Â", 'A'}, {"Ã", 'A'}, {"Ä", 'A'}, {"é", 'E'}, {"è", 'E'}, {"ê", 'E'}, {"ë", 'E'},
      {"É", 'E'}, {"È", 'E'}, {"Ê", 'E'}, {"Ë", 'E'}, {"í", 'I'}, {"ì", 'I'}, {"î", 'I'},
      {"ï", 'I'}, {"Í", 'I'}, {"Ì", 'I'}, {"Î", 'I'}, {"Ï", 'I'}, {"ó", 'O'}, {"ò", 'O'},
      {"ô", 'O'}, {"õ", 'O'}, {"ö", 'O'}, {"Ó", 'O'}, {"Ò", 'O'}, {"Ô", 'O'}, {"Õ", 'O'},
      {"Ö", 'O'}, {"ú", 'U'}, {"ù", 'U'}, {"û", 'U'}, {"ü", 'U'}, {"Ú", 'U'}, {"Ù", 'U'},
      {"Û", 'U'}, {"Ü", 'U'}, {"ç", 'C'}, {"Ç", 'C'}, {"ñ", 'N'}, {"Ñ", 'N'}};
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(std::toupper(c));
      continue;
    }
    bool done = false;
    if (i + 1 < text.size()) {
      for (const auto& [letter, base] : kLetters) {
        if (text.compare(i, 2, letter) == 0) {
          out += base;
          ++i;
          done = true;
          break;
        }
      }
    }
    if (!done) out += text[i];
  }
  return out;
}

// The settings of the caller's company: one row for a known company (nulls where it has no
// settings yet), none otherwise.
Variant settings(CallContext& ctx, const records::Table& table) {
  const Fields& fields = table.fields();
  std::string list;
  for (const auto& f : fields) list += (list.empty() ? "P." : ", P.") + f.name;
  return packetOf(ctx,
                  "SELECT " + list +
                      " FROM EMPRESA E LEFT JOIN PARAMGERAL P ON P.CDEMPRESA = E.CDEMPRESA "
                      "WHERE E.CDEMPRESA = :e",
                  {Value(ctx.company())}, fields);
}

// Branch and number of a boleto (in-out, padded to their widths); the caller must have
// access to the boleto's company. A boleto that does not exist gives empty pages.
struct BoletoKey {
  std::string branch, number;
};
template <class Args>
BoletoKey boletoKey(CallContext& ctx, Args& a) {
  a.CDFILIAL.set(a.CDFILIAL.code());
  a.NRLANBOLREC.set(a.NRLANBOLREC.code());
  BoletoKey k{a.CDFILIAL.value(), a.NRLANBOLREC.value()};
  std::string company;
  soci::indicator ind = soci::i_null;
  ctx.sql() << "SELECT CDEMPRESA FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
      soci::use(k.branch), soci::use(k.number), soci::into(company, ind);
  if (ctx.sql().got_data() && ind == soci::i_ok) ctx.requireCompany(company);
  return k;
}

// Pads the text column `field` of a packet's rows to `width` with leading zeros (sequences
// stored as integers, shown as "01").
void padColumn(nlohmann::json& packet, const records::Table& table, const records::Field& field) {
  const size_t col = table.indexOf(field);
  const size_t width = static_cast<size_t>(field.size);
  for (auto& row : packet["rows"]) {
    auto& v = row[col];
    if (!v.is_string()) continue;
    std::string s = v.get<std::string>();
    if (s.size() < width) v = std::string(width - s.size(), '0') + s;
  }
}

// SetCNABMsg: each changed row of the bank-message packet updates its boleto when the message
// is still what the caller read; otherwise someone changed it meanwhile.
int64_t applyCnabMsg(CallContext& ctx, const nlohmann::json& delta) {
  const auto& fields = delta.at("fields");
  auto column = [&](std::string_view name) {
    for (size_t i = 0; i < fields.size(); ++i)
      if (fields[i].at("name").get<std::string>() == name) return i;
    throw Refusal("ARG_INVALIDO", fmt::format("SetCNABMsg: o pacote não tem o campo {}", name));
  };
  using namespace records::fld;
  size_t cf = column(CDFILIAL), cn = column(NRLANBOLREC), cm = column(TXMENSBOLBOL);
  auto textAt = [](const nlohmann::json& row, size_t i,
                   const records::Field& field) -> std::optional<std::string> {
    const char* name = field.name;
    const size_t max = static_cast<size_t>(field.size);
    const auto& v = row.at(i);
    if (v.is_null()) return std::nullopt;
    if (!v.is_string())
      throw Refusal("ARG_TIPO", fmt::format("SetCNABMsg: {} deve ser um texto", name));
    std::string s = v.get<std::string>();
    if (characters(s) > max)
      throw Refusal("ARG_TAMANHO", fmt::format("SetCNABMsg: {} tem {} caracteres; o máximo é {}",
                                               name, characters(s), max));
    return s;
  };
  const auto& rows = delta.at("rows");
  int64_t applied = 0;
  if (!delta.contains("changes")) return 0;
  for (const auto& change : delta.at("changes")) {
    std::string kind = change.at("kind");
    size_t at = change.at("row");
    const nlohmann::json& keyRow = kind == "delete" ? change.at("original") : rows.at(at);
    std::string branch = textAt(keyRow, cf, CDFILIAL).value_or("");
    std::string number = textAt(keyRow, cn, NRLANBOLREC).value_or("");
    std::optional<std::string> wanted =
        kind == "delete" ? std::nullopt : textAt(rows.at(at), cm, TXMENSBOLBOL);
    std::optional<std::string> original =
        kind == "insert" ? std::nullopt : textAt(change.at("original"), cm, TXMENSBOLBOL);

    std::string company, current;
    soci::indicator ci = soci::i_null, mi = soci::i_null;
    ctx.sql() << "SELECT CDEMPRESA, TXMENSBOLBOL FROM BOLRECEBER WHERE CDFILIAL = :f AND "
                 "NRLANBOLREC = :n",
        soci::use(branch), soci::use(number), soci::into(company, ci), soci::into(current, mi);
    if (!ctx.sql().got_data())
      throw Refusal("ALT_BLOQ", fmt::format("o boleto {}/{} não existe mais", branch, number));
    ctx.requireCompany(company);
    std::optional<std::string> now = mi == soci::i_ok ? std::optional(current) : std::nullopt;
    // An empty message and none are the same to the operator.
    if (now.value_or("") != original.value_or(""))
      throw Refusal(
          "ALT_BLOQ",
          fmt::format("a mensagem do boleto {}/{} foi alterada por outra pessoa", branch, number));
    std::string text = wanted.value_or("");
    soci::indicator wi = text.empty() ? soci::i_null : soci::i_ok;
    ctx.sql() << "UPDATE BOLRECEBER SET TXMENSBOLBOL = :m WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(text, wi), soci::use(branch), soci::use(number);
    ++applied;
  }
  return applied;
}

}  // namespace

void registerRegistro(Dispatcher& d) {
  // --- settings of the caller's company
  d.on<rpc::GetValidaGR>(
      [](CallContext& ctx, rpc::GetValidaGR&) { return settings(ctx, records::cdsValidaGR()); });
  d.on<rpc::GetOrcaFestas>([](CallContext& ctx, rpc::GetOrcaFestas&) {
    return settings(ctx, records::cdsOrcaFestas());
  });
  d.on<rpc::GetGeralRec>(
      [](CallContext& ctx, rpc::GetGeralRec&) { return settings(ctx, records::cdsGeralRec()); });
  d.on<rpc::GetGeral_Rec>(
      [](CallContext& ctx, rpc::GetGeral_Rec&) { return settings(ctx, records::cdsGeral_Rec()); });
  d.on<rpc::GetParamGeral>([](CallContext& ctx, rpc::GetParamGeral&) {
    return settings(ctx, records::cdsParamGeral());
  });

  // --- pages of the current boleto: branch and number in-out, padded
  d.on<rpc::GetCntReceber>([](CallContext& ctx, rpc::GetCntReceber& a) {
    auto k = boletoKey(ctx, a);
    return packetOf(ctx,
                    "SELECT CDFILIAL, NRCTRECEBER, CDEMPRESA, CDCLIENTE, CDFILIEMIT, NRDUPLICATA, "
                    "NRNOTAFISC, CDSERIE, NRPARCELAREC, NRCTRECEBER, DTEMISSAO, DTVENCTREC, "
                    "VRCTRECEBER, COALESCE(VRSALDOREC, VRCTRECEBER), IDSTATCTREC, CDTPBAIXAREC, "
                    "NRLICENCAUSO, CDVIATURA, DSCTRECEBER, CASE WHEN COALESCE(CDSERIE, '') = '' "
                    "THEN NRNOTAFISC ELSE NRNOTAFISC || '/' || CDSERIE END FROM CTRECEBER WHERE "
                    "CDFILBOLREC = :f "
                    "AND NRLANBOLREC = :n ORDER BY CDFILIAL, NRCTRECEBER",
                    {Value(k.branch), Value(k.number)}, records::cdsCntReceber().fields());
  });
  d.on<rpc::GetCNABMsg>([](CallContext& ctx, rpc::GetCNABMsg& a) {
    auto k = boletoKey(ctx, a);
    return packetOf(
        ctx,
        "SELECT CDFILIAL, NRLANBOLREC, TXMENSBOLBOL FROM BOLRECEBER WHERE CDFILIAL = :f "
        "AND NRLANBOLREC = :n",
        {Value(k.branch), Value(k.number)}, records::cdsCNABMsg().fields());
  });
  d.on<rpc::SetCNABMsg>([](CallContext& ctx, rpc::SetCNABMsg& a) {
    try {
      return Variant(applyCnabMsg(ctx, a.cdsCNABMsg.value().packetJson()));
    } catch (const nlohmann::json::exception& e) {
      throw Refusal("ARG_INVALIDO",
                    fmt::format("SetCNABMsg: pacote de alterações malformado: {}", e.what()));
    }
  });
  d.on<rpc::GetAjBolRec>([](CallContext& ctx, rpc::GetAjBolRec& a) {
    auto k = boletoKey(ctx, a);
    return packetOf(
        ctx,
        "SELECT A.CDFILIAL, A.NRLANBOLREC, A.CDAJUCTREC, COALESCE(A.DSAJUCTREC, "
        "T.DSAJUCTREC), COALESCE(A.IDAJUCTREC, T.IDAJUCTREC), A.VRAJUSTE, A.IDORIGAJBREC "
        "FROM AJUSTEBOLREC A LEFT JOIN TIPOAJREC T ON T.CDAJUCTREC = A.CDAJUCTREC "
        "WHERE A.CDFILIAL = :f AND A.NRLANBOLREC = :n ORDER BY A.NRSEQAJUSTE",
        {Value(k.branch), Value(k.number)}, records::cdsAjBolRec().fields());
  });
  // The instalments sharing the origin number, or the boleto alone as instalment "00" when it
  // was never split.
  d.on<rpc::GetParcelamento>([](CallContext& ctx, rpc::GetParcelamento& a) {
    auto k = boletoKey(ctx, a);
    a.NRORIGBOLREC.set(a.NRORIGBOLREC.code());
    const std::string origin = a.NRORIGBOLREC.value();
    std::string number = origin.empty() ? "'00'" : "B.NRPARCBOLREC";
    std::string where = origin.empty() ? "B.NRLANBOLREC = :n" : "B.NRORIGBOLREC = :n";
    return packetOf(
        ctx,
        fmt::format(
            "SELECT {0}, {0}, B.NRPARCBOLREC, B.DTVENBOLREC, B.VRFINALBREC, B.VRBOLREC, "
            "B.CDMOTIPARC, M.DSMOTIPARC, B.IDSTATBREC, B.NRORIGBOLREC, B.CDFILIAL, "
            "B.NRLANBOLREC, B.CDCLIENTE, B.CDEMPRESA, B.CDREDUCONT, K.CDCONTCORR, "
            "B.CDNOSNUMREC, B.CDCARTCOBBOL, B.CDINS1COBBOL, B.CDINS2COBBOL, B.QTDIAPROTBOL, "
            "B.IDIMPRBOLBOL, B.CDBARRAREC, B.DSLINHABARREC, B.TXMENSBOLBOL, B.IDSITUCNABR "
            "FROM BOLRECEBER B LEFT JOIN MOTIPARC M ON M.CDMOTIPARC = B.CDMOTIPARC "
            "LEFT JOIN CONTCORR K ON K.CDEMPRESA = B.CDEMPRESA AND K.CDREDUCONT = B.CDREDUCONT "
            "WHERE B.CDFILIAL = :f AND {1} ORDER BY B.NRPARCBOLREC, B.NRLANBOLREC",
            number, where),
        {Value(k.branch), Value(origin.empty() ? k.number : origin)},
        records::cdsParcelamento().fields());
  });
  d.on<rpc::GetTpRecBoleto>([](CallContext& ctx, rpc::GetTpRecBoleto& a) {
    auto k = boletoKey(ctx, a);
    const auto& table = records::cdsTpRecBoleto();
    auto packet = runBound(
        ctx.sql(),
        "SELECT P.CDFILIAL, P.NRLANBOLREC, P.NRSEQTPRECBO, P.CDTIPORECE, T.NMTIPORECE, "
        "P.VRTPRECBO, "
        "Q.CDBANCBOLREC, Q.NRCHEQBOLREC, Q.CDAGENBOLREC, Q.CDCONTBOLREC, Q.DTCHEQBOLREC, "
        "C.CDCARTAO, A.NMCARTAO, C.NRCARCREBOLR, Q.DSCHEQBOLREC FROM TPRECBOLETO P "
        "LEFT JOIN TIPORECEBE T ON T.CDTIPORECE = P.CDTIPORECE "
        "LEFT JOIN CHEQUEBOLREC Q ON Q.CDFILIAL = P.CDFILIAL AND Q.NRLANBOLREC = P.NRLANBOLREC "
        "AND Q.NRSEQTPRECBO = P.NRSEQTPRECBO "
        "LEFT JOIN CARTAOBOLREC C ON C.CDFILIAL = P.CDFILIAL AND C.NRLANBOLREC = P.NRLANBOLREC "
        "AND C.NRSEQTPRECBO = P.NRSEQTPRECBO LEFT JOIN CARTAO A ON A.CDCARTAO = C.CDCARTAO "
        "WHERE P.CDFILIAL = :f AND P.NRLANBOLREC = :n ORDER BY P.NRSEQTPRECBO",
        {Value(k.branch), Value(k.number)}, table.fields());
    padColumn(packet, table, records::fld::NRSEQTPRECBO);
    return Variant::packet(std::move(packet));
  });

  // --- look-ups
  // GetProrrogacao(reason code, "T" for all): code padded to 2.
  d.on<rpc::GetProrrogacao>([](CallContext& ctx, rpc::GetProrrogacao& a) {
    const std::string code = a.CDMOTIPROR.code();
    const bool all = a.todos.value() == "T";
    return packetOf(
        ctx,
        "SELECT CDMOTIPROR, DSMOTIPROR FROM MOTIPROR WHERE (CDMOTIPROR = :c OR :t = 'T') "
        "ORDER BY CDMOTIPROR",
        {Value(code), Value(all ? "T" : "")}, records::cdsProrrogacao().fields());
  });
  d.on<rpc::GetCliente>([](CallContext& ctx, rpc::GetCliente& a) {
    return packetOf(ctx,
                    "SELECT CDCLIENTE, NMRAZSOCCLIE, VRPEMULBCLI, VRPEMORBCLI, IDUTLICEUSO FROM "
                    "CLIENTE WHERE CDCLIENTE = :c",
                    {Value(a.CDCLIENTE.code())}, records::cdsCliente().fields());
  });
  // GetContProrVenc(operator): [the company's extension control, the operator's groups among
  // those allowed]. No control: anyone extends; control without the operator's group: no one.
  d.on<rpc::GetContProrVenc>([](CallContext& ctx, rpc::GetContProrVenc& a) {
    std::string op = a.CDOPERADOR.value();
    if (op.empty()) op = ctx.operatorCode();
    std::string company = ctx.company();
    Variant control =
        packetOf(ctx,
                 "SELECT CDEMPRESA, CDGRUPOPER FROM CONTPRORVENC WHERE CDEMPRESA = :e "
                 "ORDER BY CDGRUPOPER",
                 {Value(company)}, records::cdsContProrVenc().fields());
    Variant groups =
        packetOf(ctx,
                 "SELECT G.CDGRUPOPER, G.NMGRUPOPER FROM OPERGRUPO O JOIN GRUPOPER G ON "
                 "G.CDGRUPOPER = O.CDGRUPOPER JOIN CONTPRORVENC C ON C.CDGRUPOPER = "
                 "O.CDGRUPOPER WHERE O.CDOPERADOR = :o AND C.CDEMPRESA = :e ORDER BY "
                 "G.CDGRUPOPER",
                 {Value(op), Value(company)}, records::cdsGrupoOperador().fields());
    return Variant::array({control, groups});
  });
  d.on<rpc::GetFormRec>([](CallContext& ctx, rpc::GetFormRec&) {
    return packetOf(ctx,
                    "SELECT 'N', CDTPBAIXAREC, NMTPBAIXAREC FROM TIPOBAIXA ORDER BY CDTPBAIXAREC",
                    {}, records::cdsFormRec().fields());
  });
  d.on<rpc::GetVeiculo>([](CallContext& ctx, rpc::GetVeiculo&) {
    return packetOf(ctx,
                    "SELECT 'N', CDVIATURA, NRPLACA, COALESCE(DSTIPOVEIC, DSVIATURA) FROM VIATURA "
                    "ORDER BY CDVIATURA",
                    {}, records::cdsVeiculo().fields());
  });
  // GetDuplicata(company, due from, due to): the invoices of the company's receivables due in
  // the period (an open end when a date is null), with their total.
  d.on<rpc::GetDuplicata>([](CallContext& ctx, rpc::GetDuplicata& a) {
    std::string company = a.CDEMPRESA.code();
    if (company.empty()) company = ctx.company();
    ctx.requireCompany(company);
    const auto& from = a.dueFrom.value();
    const auto& to = a.dueTo.value();
    std::string sql =
        "SELECT 'N', R.NRDUPLICATA, R.CDEMPRESA, MIN(C.NRINSJURCLIE), SUM(R.VRCTRECEBER) "
        "FROM CTRECEBER R LEFT JOIN CLIENTE C ON C.CDCLIENTE = R.CDCLIENTE "
        "WHERE R.CDEMPRESA = :e AND R.NRDUPLICATA IS NOT NULL";
    std::vector<Value> values{Value(company)};
    if (from) {
      sql += " AND R.DTVENCTREC >= :f";
      values.emplace_back(from->dateOnly().iso());
    }
    if (to) {
      sql += " AND SUBSTR(R.DTVENCTREC, 1, 10) <= :t";
      values.emplace_back(to->dateOnly().iso());
    }
    sql += " GROUP BY R.NRDUPLICATA, R.CDEMPRESA ORDER BY R.NRDUPLICATA";
    return packetOf(ctx, sql, values, records::cdsDuplicata().fields());
  });
  // GetBuscaCliente(key, in-out): clients whose legal name, trade name or tax number contains
  // the key, letter case and accents ignored ("joao" finds "João"); the tax number compared by
  // its digits. The key comes back trimmed; an empty key finds no one.
  d.on<rpc::GetBuscaCliente>([](CallContext& ctx, rpc::GetBuscaCliente& a) {
    std::string key = a.key.value();
    while (!key.empty() && key.back() == ' ') key.pop_back();
    while (!key.empty() && key.front() == ' ') key.erase(0, 1);
    a.key.set(key);
    nlohmann::json packet{{"fields", packetFields(records::cdsBuscaCliente().fields())},
                          {"rows", nlohmann::json::array()}};
    if (key.empty()) return Variant::packet(std::move(packet));
    std::string digits;
    for (char c : key)
      if (c >= '0' && c <= '9') digits += c;
    const std::string wanted = folded(key);
    // Neither database folds accents portably: the names are compared here.
    soci::rowset<soci::row> rows =
        (ctx.sql().prepare
         << "SELECT CDCLIENTE, NMRAZSOCCLIE, NMFANTCLIE, NRINSJURCLIE FROM CLIENTE "
            "ORDER BY NMRAZSOCCLIE, CDCLIENTE");
    auto textAt = [](const soci::row& r, size_t i) {
      return r.get_indicator(i) == soci::i_ok ? r.get<std::string>(i) : std::string();
    };
    for (const auto& r : rows) {
      if (folded(textAt(r, 1)).find(wanted) != std::string::npos ||
          folded(textAt(r, 2)).find(wanted) != std::string::npos ||
          (!digits.empty() && textAt(r, 3).find(digits) != std::string::npos))
        packet["rows"].push_back({textAt(r, 0)});
    }
    return Variant::packet(std::move(packet));
  });

  // InsLista(invoice list, selection list; both in-out): the register's selection list made
  // to hold exactly the invoices of the list text, created when the caller has none (or names
  // one that is not its own). Result: the list's name, the caller's new stLista.
  d.on<rpc::InsLista>([](CallContext& ctx, rpc::InsLista& a) {
    std::string nr = a.stLista.value();
    auto items = queries::splitList(a.invoices.value());
    const auto itemSize = records::fld::CDLISTA.width();
    for (const auto& item : items)
      if (characters(item) > itemSize)
        throw Refusal(
            "ARG_TAMANHO",
            fmt::format("InsLista: a nota \"{}\" tem mais de {} caracteres", item, itemSize));
    std::string op = ctx.operatorCode();
    int mine = 0;
    if (!nr.empty())
      ctx.sql() << "SELECT COUNT(*) FROM LISTA WHERE NRLISTA = :n AND CDOPERADOR = :o",
          soci::use(nr), soci::use(op), soci::into(mine);
    if (mine) {
      // The list holds the invoices of the latest filter only: an earlier choice must not
      // keep boletos in the register. Nor is the new content marked emitted, whatever the
      // old one was.
      ctx.sql() << "DELETE FROM LISTAITEM WHERE NRLISTA = :n", soci::use(nr);
      ctx.sql() << "UPDATE LISTA SET DTEMITLISTA = NULL WHERE NRLISTA = :n", soci::use(nr);
    } else {
      nr = fmt::format("{:0>{}}", nextSequence(ctx.sql(), "", "LISTA"), records::fld::NRLISTA.size);
      std::string now = ctx.now().iso();
      ctx.sql() << "INSERT INTO LISTA (NRLISTA, CDOPERADOR, DTCRIACAO) VALUES (:n, :o, :d)",
          soci::use(nr), soci::use(op), soci::use(now);
    }
    std::set<std::string> seen;
    for (auto& item : items) {
      if (!seen.insert(item).second) continue;
      ctx.sql() << "INSERT INTO LISTAITEM (NRLISTA, CDLISTA) VALUES (:n, :c)", soci::use(nr),
          soci::use(item);
    }
    a.stLista.set(nr);
    return Variant(nr);
  });
}

}  // namespace service
