#include "queries/DirectQueries.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "records/Tables.h"

namespace queries {

namespace {

// A list parameter is one bound text "A,B,C"; SQLite finds a code in it with instr on the
// text wrapped in commas, PostgreSQL with string_to_array. Blanks are removed first: codes
// carry none.
std::string inListSqlite(const std::string& column, const std::string& param) {
  return fmt::format(
      "instr(',' || REPLACE(COALESCE({1}, ''), ' ', '') || ',', ',' || {0} || ',') > 0", column,
      param);
}
std::string inListPostgres(const std::string& column, const std::string& param) {
  return fmt::format(
      "{0} = ANY (string_to_array(replace(COALESCE(CAST({1} AS TEXT), ''), ' ', ''), ','))", column,
      param);
}

// The fields of a query's rows, declared from the field constants like any dataset's.
std::vector<host::FieldDef> rows(const std::string& query,
                                 std::initializer_list<records::Column> columns) {
  return records::Table(query, columns).fields();
}

std::vector<DirectQuery> declare() {
  using namespace records::fld;
  using records::kPercent;
  std::vector<DirectQuery> out;

  // The company look-up of the register: one company, or every one with P_TCDEMPRESA = 'T'.
  {
    DirectQuery q;
    q.name = "qryEmpresa";
    q.parameters = {"P_CDEMPRESA", "P_TCDEMPRESA"};
    q.sqlite =
        "SELECT CDEMPRESA, NMEMPRESA, VRPEMULEMPR, VRPEMOREMPR FROM EMPRESA "
        "WHERE (CDEMPRESA = :P_CDEMPRESA  OR   :P_TCDEMPRESA = 'T') ORDER BY CDEMPRESA";
    q.postgresql =
        "SELECT CDEMPRESA, NMEMPRESA, VRPEMULEMPR, VRPEMOREMPR FROM EMPRESA "
        "WHERE (CDEMPRESA = CAST(:P_CDEMPRESA AS TEXT)  OR   CAST(:P_TCDEMPRESA AS TEXT) = 'T') "
        "ORDER BY CDEMPRESA";
    q.fields = rows(q.name, {CDEMPRESA.labeled("Código"), NMEMPRESA.labeled("Nome"),
                             VRPEMULEMPR.formatted(kPercent), VRPEMOREMPR.formatted(kPercent)});
    out.push_back(std::move(q));
  }
  // The emission screen's invoice model: the company, when its tax number is the one given.
  {
    DirectQuery q;
    q.name = "qryEmpresaNFA4";
    q.parameters = {"P_CDEMPRESA", "P_NRINSJUREMPR"};
    q.sqlite =
        "SELECT CDEMPRESA, NRINSJUREMPR FROM EMPRESA WHERE CDEMPRESA = :P_CDEMPRESA AND "
        "NRINSJUREMPR = :P_NRINSJUREMPR";
    q.postgresql =
        "SELECT CDEMPRESA, NRINSJUREMPR FROM EMPRESA WHERE CDEMPRESA = CAST(:P_CDEMPRESA AS TEXT) "
        "AND NRINSJUREMPR = CAST(:P_NRINSJUREMPR AS TEXT)";
    q.fields = rows(q.name, {CDEMPRESA, NRINSJUREMPR});
    out.push_back(std::move(q));
  }
  // Clients of the filter's search, restricted to a list of client groups unless "T".
  {
    DirectQuery q;
    q.name = "qryCliente";
    q.parameters = {"P_CDGRUPCLIE", "P_TCDGRUPCLIE"};
    const std::string head =
        "SELECT CDCLIENTE, NMRAZSOCCLIE, NMFANTCLIE, IDTPIJURCLIE, NRINSJURCLIE FROM CLIENTE ";
    q.sqlite = head + "WHERE (:P_TCDGRUPCLIE = 'T' OR " +
               inListSqlite("CDGRUPCLIE", ":P_CDGRUPCLIE") + ") ORDER BY NMRAZSOCCLIE, CDCLIENTE";
    q.postgresql = head + "WHERE (CAST(:P_TCDGRUPCLIE AS TEXT) = 'T' OR " +
                   inListPostgres("CDGRUPCLIE", ":P_CDGRUPCLIE") +
                   ") ORDER BY NMRAZSOCCLIE, CDCLIENTE";
    q.fields = rows(q.name, {CDCLIENTE.labeled("Código"), NMRAZSOCCLIE.labeled("Razão Social"),
                             NMFANTCLIE.labeled("Nome Fantasia"), IDTPIJURCLIE.labeled("Tipo"),
                             NRINSJURCLIE.labeled("Inscrição Jurídica")});
    out.push_back(std::move(q));
  }
  {
    DirectQuery q;
    q.name = "qryFilial";
    q.sqlite = q.postgresql = "SELECT CDFILIAL, NMFILIAL FROM FILIAL ORDER BY CDFILIAL";
    q.fields = rows(q.name, {CDFILIAL.labeled("Código"), NMFILIAL.labeled("Nome")});
    out.push_back(std::move(q));
  }
  {
    DirectQuery q;
    q.name = "qryGrupClie";
    q.sqlite = q.postgresql = "SELECT CDGRUPCLIE, NMGRUPCLIE FROM GRUPCLIE ORDER BY CDGRUPCLIE";
    q.fields = rows(q.name, {CDGRUPCLIE.labeled("Código"), NMGRUPCLIE.labeled("Nome")});
    out.push_back(std::move(q));
  }
  // The session company's collection accounts with their bank; one, or all with "T".
  {
    DirectQuery q;
    q.name = "qryContCorr";
    q.parameters = {"P_CDREDUCONT", "P_TCDREDUCONT"};
    q.companyScoped = true;
    const std::string head =
        "SELECT K.CDREDUCONT, K.CDBANCO, K.CDAGENCIA, K.CDCONTCORR, K.CDPICTCONT, K.DSCONTCORR, "
        "K.CDPICTAGEN FROM CONTCORR K JOIN BANCO B ON B.CDBANCO = K.CDBANCO ";
    q.sqlite = head +
               "WHERE K.CDEMPRESA = :SESSAO_CDEMPRESA AND (K.CDREDUCONT = :P_CDREDUCONT OR "
               ":P_TCDREDUCONT = 'T') ORDER BY K.CDREDUCONT";
    q.postgresql = head +
                   "WHERE K.CDEMPRESA = CAST(:SESSAO_CDEMPRESA AS TEXT) AND (K.CDREDUCONT = "
                   "CAST(:P_CDREDUCONT AS TEXT) OR CAST(:P_TCDREDUCONT AS TEXT) = 'T') "
                   "ORDER BY K.CDREDUCONT";
    q.fields = rows(q.name, {CDREDUCONT.labeled("Código"), CDBANCO.labeled("Banco"),
                             CDAGENCIA.labeled("Agência"), CDCONTCORR.labeled("Conta Corrente"),
                             CDPICTCONT, DSCONTCORR.labeled("Descrição"), CDPICTAGEN});
    out.push_back(std::move(q));
  }
  // The collection letters' boletos: the session company's boletos still owed (pending or
  // emitted, neither settled, written off nor discounted) due before the reference date
  // (yyyy-mm-dd); by customer, due date and key.
  {
    DirectQuery q;
    q.name = "qryCartasCobranca";
    q.parameters = {"P_DTREFERENCIA"};
    q.companyScoped = true;
    const std::string head =
        "SELECT B.CDCLIENTE, C.NMRAZSOCCLIE, B.CDFILIAL, B.NRLANBOLREC, B.CDNOSNUMREC, "
        "B.DTVENBOLREC, B.VRFINALBREC FROM BOLRECEBER B JOIN CLIENTE C ON C.CDCLIENTE = "
        "B.CDCLIENTE WHERE B.IDSTATBREC IN ('A', 'E') AND COALESCE(B.NRBAIXAREC, '') = '' AND ";
    const std::string tail = " ORDER BY B.CDCLIENTE, B.DTVENBOLREC, B.CDFILIAL, B.NRLANBOLREC";
    q.sqlite = head + "B.CDEMPRESA = :SESSAO_CDEMPRESA AND B.DTVENBOLREC < :P_DTREFERENCIA" + tail;
    q.postgresql = head +
                   "B.CDEMPRESA = CAST(:SESSAO_CDEMPRESA AS TEXT) AND B.DTVENBOLREC < "
                   "CAST(:P_DTREFERENCIA AS TEXT)" +
                   tail;
    q.fields = rows(q.name, {CDCLIENTE, NMRAZSOCCLIE, CDFILIAL, NRLANBOLREC, CDNOSNUMREC,
                             DTVENBOLREC, VRFINALBREC});
    out.push_back(std::move(q));
  }
  // The association screen's customers: those of the list text, or every one with "T"; by
  // tax number.
  {
    DirectQuery q;
    q.name = "qryClienteConjuga";
    q.parameters = {"P_CLIENTE", "TCLIENTE"};
    const std::string head =
        "SELECT CLI.CDCLIENTE, CLI.NMFANTCLIE, CLI.NMRAZSOCCLIE, CLI.NRINSJURCLIE, "
        "CLI.IDTPIJURCLIE FROM CLIENTE CLI ";
    q.sqlite = head + "WHERE (:TCLIENTE = 'T' OR " + inListSqlite("CLI.CDCLIENTE", ":P_CLIENTE") +
               ") ORDER BY CLI.NRINSJURCLIE, CLI.CDCLIENTE";
    q.postgresql = head + "WHERE (CAST(:TCLIENTE AS TEXT) = 'T' OR " +
                   inListPostgres("CLI.CDCLIENTE", ":P_CLIENTE") +
                   ") ORDER BY CLI.NRINSJURCLIE, CLI.CDCLIENTE";
    q.fields = rows(q.name, {CDCLIENTE.labeled("Código"), NMFANTCLIE.labeled("Nome Fantasia"),
                             NMRAZSOCCLIE.labeled("Razão Social"),
                             NRINSJURCLIE.labeled("Inscrição Jurídica"), IDTPIJURCLIE});
    out.push_back(std::move(q));
  }
  // Write-off types: one by code, or every one with "T"; by code.
  {
    DirectQuery q;
    q.name = "qryTipoBaixa";
    q.parameters = {"P_CDTPBAIXAREC", "P_TCDTPBAIXAREC"};
    const std::string head = "SELECT CDTPBAIXAREC, NMTPBAIXAREC FROM TIPOBAIXA ";
    q.sqlite = head +
               "WHERE (CDTPBAIXAREC = :P_CDTPBAIXAREC OR :P_TCDTPBAIXAREC = 'T') ORDER BY "
               "CDTPBAIXAREC";
    q.postgresql = head +
                   "WHERE (CDTPBAIXAREC = CAST(:P_CDTPBAIXAREC AS TEXT) OR "
                   "CAST(:P_TCDTPBAIXAREC AS TEXT) = 'T') ORDER BY CDTPBAIXAREC";
    q.fields = rows(q.name, {CDTPBAIXAREC.labeled("Código"), NMTPBAIXAREC.labeled("Nome")});
    out.push_back(std::move(q));
  }
  // The discount types of one kind of credit ("A" advances, "D" devolutions): all of them, or
  // one by code.
  {
    DirectQuery q;
    q.name = "qryTipoAjuste";
    q.parameters = {"P_IDTPAJRECEBER"};
    q.sqlite =
        "SELECT CDAJUCTREC, DSAJUCTREC FROM TIPOAJREC WHERE IDAJUCTREC = 'D' AND IDTPAJRECEBER = "
        ":P_IDTPAJRECEBER ORDER BY CDAJUCTREC";
    q.postgresql =
        "SELECT CDAJUCTREC, DSAJUCTREC FROM TIPOAJREC WHERE IDAJUCTREC = 'D' AND IDTPAJRECEBER = "
        "CAST(:P_IDTPAJRECEBER AS TEXT) ORDER BY CDAJUCTREC";
    q.fields = rows(q.name, {CDAJUCTREC.labeled("Código"), DSAJUCTREC.labeled("Descrição")});
    out.push_back(std::move(q));
  }
  {
    DirectQuery q;
    q.name = "qryTipoAjusteCod";
    q.parameters = {"P_CDAJUCTREC", "P_IDTPAJRECEBER"};
    q.sqlite =
        "SELECT CDAJUCTREC, DSAJUCTREC FROM TIPOAJREC WHERE CDAJUCTREC = :P_CDAJUCTREC AND "
        "IDAJUCTREC = 'D' AND IDTPAJRECEBER = :P_IDTPAJRECEBER";
    q.postgresql =
        "SELECT CDAJUCTREC, DSAJUCTREC FROM TIPOAJREC WHERE CDAJUCTREC = CAST(:P_CDAJUCTREC AS "
        "TEXT) AND IDAJUCTREC = 'D' AND IDTPAJRECEBER = CAST(:P_IDTPAJRECEBER AS TEXT)";
    q.fields = rows(q.name, {CDAJUCTREC.labeled("Código"), DSAJUCTREC.labeled("Descrição")});
    out.push_back(std::move(q));
  }
  // A bank with the display masks of its agencies and accounts (a cheque's are drawn with
  // them).
  {
    DirectQuery q;
    q.name = "BANCO";
    q.parameters = {"P_CDBANCO"};
    const std::string head = "SELECT CDBANCO, NMBANCO, CDPICTAGEN, CDPICTCONT FROM BANCO ";
    q.sqlite = head + "WHERE CDBANCO = :P_CDBANCO";
    q.postgresql = head + "WHERE CDBANCO = CAST(:P_CDBANCO AS TEXT)";
    q.fields =
        rows(q.name, {CDBANCO.labeled("Banco"), NMBANCO.labeled("Nome"), CDPICTAGEN, CDPICTCONT});
    out.push_back(std::move(q));
  }
  return out;
}

}  // namespace

const std::vector<DirectQuery>& all() {
  static const std::vector<DirectQuery> queries = declare();
  return queries;
}

const DirectQuery* find(std::string_view name) {
  for (const auto& q : all())
    if (q.name == name) return &q;
  return nullptr;
}

void checkParams(const DirectQuery& q, const host::QueryParams& params) {
  for (const auto& [name, value] : params) {
    if (std::find(q.parameters.begin(), q.parameters.end(), name) == q.parameters.end())
      throw std::invalid_argument(fmt::format("query {} has no parameter {}", q.name, name));
  }
}

PositionalSql positional(const std::string& sql) {
  PositionalSql out;
  bool quoted = false;
  for (size_t i = 0; i < sql.size(); ++i) {
    char c = sql[i];
    if (c == '\'') quoted = !quoted;
    bool starts = !quoted && c == ':' && i + 1 < sql.size() &&
                  (std::isalpha(static_cast<unsigned char>(sql[i + 1])) || sql[i + 1] == '_') &&
                  (i == 0 || sql[i - 1] != ':');
    if (!starts) {
      out.sql += c;
      continue;
    }
    size_t end = i + 1;
    while (end < sql.size() &&
           (std::isalnum(static_cast<unsigned char>(sql[end])) || sql[end] == '_'))
      ++end;
    out.names.push_back(sql.substr(i + 1, end - i - 1));
    out.sql += fmt::format(":p{}", out.names.size());
    i = end - 1;
  }
  return out;
}

std::vector<std::string> splitList(std::string_view text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    std::string_view item = text.substr(start, comma - start);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front())))
      item.remove_prefix(1);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back())))
      item.remove_suffix(1);
    if (!item.empty()) out.emplace_back(item);
    start = comma + 1;
  }
  return out;
}

}  // namespace queries
