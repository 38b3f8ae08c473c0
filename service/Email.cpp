// E-mail of boletos with their fiscal documents: a branch's mail settings, the addresses the
// customers registered for their notes, the notes' series, and the DANFE of electronic notes
// rendered here and handed over as one zip archive in Base64.

#include <fmt/format.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "host/Archive.h"
#include "host/Base64.h"
#include "host/Consiste.h"
#include "records/Tables.h"
#include "report/Layout.h"
#include "report/Render.h"
#include "report/Template.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"

namespace service {

namespace {

namespace fs = std::filesystem;
namespace fld = records::fld;

/// The service's own DANFE design, used when the series names none.
constexpr const char* kDanfeTemplate = "DANFE.QR2";

std::string textOf(const soci::row& r, size_t i) {
  if (r.get_indicator(i) != soci::i_ok) return {};
  return r.get<std::string>(i);
}

std::unique_ptr<host::ClientDataset> datasetOf(const records::Table& t) {
  auto ds = std::make_unique<host::ClientDataset>(t.dataset());
  ds->setFieldDefs(t.fields());
  ds->createDataset();
  ds->setLogChanges(false);
  return ds;
}

/// One note behind a boleto, with the addresses its customer registered for DANFE and boleto.
struct Nota {
  std::string registration, name, branch, entry, addresses, company, stateReg, cityReg, series,
      emitter, accessKey, debit;
};

/// The notes of the boleto's receivables whose customers registered addresses, in the order
/// of their emitting branch and entry. A boleto of another company has none.
std::vector<Nota> notasDoBoleto(CallContext& ctx, const std::string& branch,
                                const std::string& number) {
  const std::string company = ctx.company();
  soci::rowset<soci::row> rows =
      (ctx.sql().prepare
           << "SELECT DISTINCT C.NRINSJURCLIE, C.NMRAZSOCCLIE, N.CDFILIAL, N.NRLANCTONF, "
              "N.CDCLIENTE, N.CDEMPRESA, N.CDINSCESTA, N.CDINSCMUNI, N.CDSERIE, "
              "N.DSCHAVEACES, N.IDNFDEBITO FROM CTRECEBER R JOIN BOLRECEBER B ON "
              "B.CDFILIAL = R.CDFILBOLREC AND B.NRLANBOLREC = R.NRLANBOLREC JOIN NOTAFISCAL N ON "
              "N.CDFILIAL = COALESCE(R.CDFILIEMIT, R.CDFILIAL) AND N.NRNOTAFISC = R.NRNOTAFISC "
              "AND COALESCE(N.CDSERIE, '') = COALESCE(R.CDSERIE, '') JOIN CLIENTE C ON "
              "C.CDCLIENTE = N.CDCLIENTE WHERE R.CDFILBOLREC = :f AND R.NRLANBOLREC = :n AND "
              "B.CDEMPRESA = :e ORDER BY N.CDFILIAL, N.NRLANCTONF",
       soci::use(branch), soci::use(number), soci::use(company));
  std::vector<Nota> out;
  for (const auto& r : rows) {
    Nota n;
    n.registration = textOf(r, 0);
    n.name = textOf(r, 1);
    n.branch = n.emitter = textOf(r, 2);
    n.entry = textOf(r, 3);
    const std::string customer = textOf(r, 4);
    n.company = textOf(r, 5);
    n.stateReg = textOf(r, 6);
    n.cityReg = textOf(r, 7);
    n.series = textOf(r, 8);
    n.accessKey = textOf(r, 9);
    n.debit = textOf(r, 10) == "S" ? "S" : "N";
    soci::rowset<std::string> mails =
        (ctx.sql().prepare << "SELECT DSEMAILDANFEBOL FROM CLIEEMAILNF WHERE CDCLIENTE = :c "
                              "ORDER BY NRSEQEMAIL",
         soci::use(customer));
    for (const auto& m : mails) {
      const std::string a = host::AllTrim(m);
      if (a.empty()) continue;
      if (!n.addresses.empty()) n.addresses += ";";
      n.addresses += a;
    }
    if (!n.addresses.empty()) out.push_back(std::move(n));
  }
  return out;
}

/// The NOTAFISCAL report dataset of one note: what its DANFE prints.
report::DataTable notaDataset(CallContext& ctx, const std::string& branch,
                              const std::string& entry) {
  report::DataTable t;
  for (const auto& f : records::RelatorioNotaFiscal().fields()) t.fields.push_back(f.name);
  soci::rowset<soci::row> rows =
      (ctx.sql().prepare
           << "SELECT N.CDFILIAL, N.NRLANCTONF, N.NRNOTAFISC, N.CDSERIE, N.DTEMISSAO, "
              "N.DSCHAVEACES, N.IDNFDEBITO, N.VRNOTAFISC, E.NMEMPRESA, E.NRINSJUREMPR, "
              "A.DSENDEFILI, C.NMRAZSOCCLIE, C.NRINSJURCLIE, C.DSENDECLIE, N.CDINSCESTA, "
              "N.TXOBSNF FROM NOTAFISCAL N JOIN EMPRESA E ON E.CDEMPRESA = N.CDEMPRESA "
              "LEFT JOIN ENDEFILI A ON A.CDFILIAL = N.CDFILIAL LEFT JOIN CLIENTE C ON "
              "C.CDCLIENTE = N.CDCLIENTE WHERE N.CDFILIAL = :f AND N.NRLANCTONF = :l AND "
              "N.CDEMPRESA = :e",
       soci::use(branch), soci::use(entry), soci::use(ctx.company()));
  for (const auto& r : rows) {
    std::vector<host::Value> v;
    for (size_t i = 0; i < t.fields.size(); ++i) {
      if (t.fields[i] == "VRTOTALNF") {
        v.push_back(r.get_indicator(i) == soci::i_ok ? host::Value(r.get<double>(i)) : 0.0);
      } else if (t.fields[i] == "DTEMISSAO") {
        auto d = host::DateTime::parse(textOf(r, i).substr(0, 10), "yyyy-mm-dd");
        v.push_back(d ? host::Value(*d) : host::Value());
      } else {
        v.push_back(textOf(r, i));
      }
    }
    t.rows.push_back(std::move(v));
  }
  return t;
}

std::string templateText(CallContext& ctx, const std::string& name) {
  std::string text;
  soci::indicator ind = soci::i_null;
  ctx.sql() << "SELECT TXCONTEUDO FROM MODELORELAT WHERE UPPER(NMARQUIVO) = UPPER(:n)",
      soci::use(name), soci::into(text, ind);
  if (ind != soci::i_ok || text.empty())
    throw Refusal("MSG_DANFE", fmt::format("Modelo de Danfe não encontrado: {}", name));
  return text;
}

/// The series' DANFE design, or ours.
std::string danfeTemplateOf(CallContext& ctx, const std::string& branch, const std::string& entry) {
  std::string name;
  soci::indicator ind = soci::i_null;
  ctx.sql() << "SELECT S.CDRELDANFE FROM NOTAFISCAL N JOIN SERIENF S ON S.CDSERIE = N.CDSERIE "
               "WHERE N.CDFILIAL = :f AND N.NRLANCTONF = :l",
      soci::use(branch), soci::use(entry), soci::into(name, ind);
  name = ind == soci::i_ok ? host::AllTrim(name) : std::string();
  const size_t cut = name.find_last_of("/\\");
  if (cut != std::string::npos) name = name.substr(cut + 1);
  return name.empty() ? kDanfeTemplate : name;
}

/// The files as one zip archive, in memory.
std::string zipOf(const std::vector<std::pair<std::string, std::string>>& files) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (!out) throw std::runtime_error("zip: no memory for the archive");
  zip_source_keep(out);
  std::unique_ptr<zip_source_t, void (*)(zip_source_t*)> keep(out, zip_source_free);
  zip_t* z = zip_open_from_source(out, ZIP_TRUNCATE, &error);
  if (!z) throw std::runtime_error(fmt::format("zip: {}", zip_error_strerror(&error)));
  for (const auto& [name, bytes] : files) {
    zip_source_t* src = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
    if (!src || zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8) < 0) {
      if (src) zip_source_free(src);
      const std::string why = zip_strerror(z);
      zip_discard(z);
      throw std::runtime_error(fmt::format("zip: {}: {}", name, why));
    }
  }
  if (zip_close(z) < 0) {
    const std::string why = zip_strerror(z);
    zip_discard(z);
    throw std::runtime_error(fmt::format("zip: {}", why));
  }
  zip_stat_t st;
  if (zip_source_stat(out, &st) < 0 || zip_source_open(out) < 0)
    throw std::runtime_error("zip: the archive cannot be read back");
  std::string bytes(static_cast<size_t>(st.size), '\0');
  const zip_int64_t got = zip_source_read(out, bytes.data(), bytes.size());
  zip_source_close(out);
  if (got != static_cast<zip_int64_t>(bytes.size()))
    throw std::runtime_error("zip: the archive was read back short");
  return bytes;
}

remote::Variant failure(const std::string& reason) {
  return remote::Variant::array({remote::Variant("N"), remote::Variant(reason)});
}

}  // namespace

void registerEmail(Dispatcher& d) {
  d.on<rpc::GetEndeFili>([](CallContext& ctx, rpc::GetEndeFili& a) {
    a.CDFILIAL.set(a.CDFILIAL.code());
    const std::string branch = a.CDFILIAL.value();
    auto dsPtr = datasetOf(records::cdsEndeFili());
    auto& ds = *dsPtr;
    // Only the company's own branches: another company's mail account is not the caller's.
    soci::rowset<soci::row> rows =
        (ctx.sql().prepare << "SELECT F.NMFILIAL, E.NRTELEFILI, E.DSEMAILFILI, E.CDSENHEMAILF, "
                              "E.DSSMTPEMAILF, E.IDUTSSLEMAIL, E.IDUTTLSEMAIL, E.DSLOGINSMTP, "
                              "E.DSEMAILEMXMLNFE FROM FILIAL F JOIN ENDEFILI E ON E.CDFILIAL = "
                              "F.CDFILIAL WHERE F.CDFILIAL = :f AND F.CDEMPRESA = :e AND "
                              "COALESCE(E.IDTPENDEFILI, 'P') = 'P'",
         soci::use(branch), soci::use(ctx.company()));
    for (const auto& r : rows) {
      ds.append();
      for (size_t i = 0; i < ds.fieldCount(); ++i)
        ds.fieldByName(records::cdsEndeFili().fields()[i].name).setString(textOf(r, i));
      ds.post();
    }
    return remote::Variant::packet(ds.toPacket());
  });

  d.on<rpc::getEmailDanfe>([](CallContext& ctx, rpc::getEmailDanfe& a) {
    a.CDFILIAL.set(a.CDFILIAL.code());
    const auto notas = notasDoBoleto(ctx, a.CDFILIAL.value(), a.NRLANBOLREC.value());
    auto groupsPtr = datasetOf(records::cdsEmailDanfe());
    auto& groups = *groupsPtr;
    auto notesPtr = datasetOf(records::cdsNotasEmail());
    auto& notes = *notesPtr;
    std::map<std::string, bool> seen;
    for (const auto& n : notas) {
      notes.append();
      notes.fieldByName(fld::NRINSJURNF).setString(n.registration);
      notes.fieldByName(fld::NMRAZSOCCLIE).setString(n.name);
      notes.fieldByName(fld::CDFILIAL).setString(n.branch);
      notes.fieldByName(fld::NRLANCTONF).setString(n.entry);
      notes.fieldByName(fld::DSEMAILDANFEBOL).setString(n.addresses);
      notes.fieldByName(fld::CDEMPRESA).setString(n.company);
      notes.fieldByName(fld::CDINSCESTA).setString(n.stateReg);
      notes.fieldByName(fld::CDINSCMUNI).setString(n.cityReg);
      notes.fieldByName(fld::CDSERIE).setString(n.series);
      notes.fieldByName(fld::CDFILIEMIT).setString(n.emitter);
      notes.fieldByName(fld::NRACESSONFE).setString(n.accessKey);
      notes.fieldByName(fld::IDNFDEBITO).setString(n.debit);
      notes.post();
      // One e-mail per emitting branch of the notes: its group goes together.
      if (seen[n.emitter]) continue;
      seen[n.emitter] = true;
      groups.append();
      groups.fieldByName(fld::CDFILIEMIT).setString(n.emitter);
      groups.fieldByName(fld::DSEMAILDANFEBOL).setString(n.addresses);
      groups.fieldByName(fld::IDNFDEBITO).setString(n.debit);
      groups.post();
    }
    return remote::Variant::array(
        {remote::Variant::packet(groups.toPacket()), remote::Variant::packet(notes.toPacket())});
  });

  d.on<rpc::getSerieNF>([](CallContext& ctx, rpc::getSerieNF& a) {
    auto dsPtr = datasetOf(records::cdsSerieNF());
    auto& ds = *dsPtr;
    const std::string series = host::AllTrim(a.CDSERIE.value());
    soci::rowset<soci::row> rows =
        (ctx.sql().prepare << "SELECT CDSERIE, DSSERIE, CDEMPRESA, CDINSCESTA, CDRELDANFE, "
                              "IDTPIMPRESDANFE, CDRELESPENF FROM SERIENF WHERE CDSERIE = :s AND "
                              "(CDEMPRESA IS NULL OR CDEMPRESA = :e)",
         soci::use(series), soci::use(ctx.company()));
    for (const auto& r : rows) {
      ds.append();
      for (size_t i = 0; i < ds.fieldCount(); ++i)
        ds.fieldByName(records::cdsSerieNF().fields()[i].name).setString(textOf(r, i));
      ds.post();
    }
    return remote::Variant::packet(ds.toPacket());
  });

  d.on<rpc::GetDanfeApi>([](CallContext& ctx, rpc::GetDanfeApi& a) {
    host::ClientDataset request("cdsListaGerarDANFE");
    request.loadPacket(a.cdsListaGerarDANFE.value().packetJson());
    records::cdsListaGerarDANFE().requireIn(request);
    auto detailPtr = datasetOf(records::cdsDetalheRetorno());
    auto& detail = *detailPtr;
    std::vector<std::pair<std::string, std::string>> files;
    std::map<std::string, std::shared_ptr<const report::Template>> templates;
    for (size_t r = 1; r <= request.recordCount(); ++r) {
      const std::string key = host::AllTrim(request.valueAt(r, fld::NRACESSONFE).asString());
      const std::string branch = host::Ajusta(
          host::AllTrim(request.valueAt(r, fld::CDFILIAL).asString()), fld::CDFILIAL.width());
      const std::string entry = host::AllTrim(request.valueAt(r, fld::NRLANCTONF).asString());
      std::string status = "S", text;
      // The key names the file inside the archive: only the 44 digits of an access key may.
      if (key.size() != 44 || !host::IsDigits(key)) {
        status = "N";
        text = "Chave de acesso inválida.";
      } else {
        report::ReportData data;
        data.params["FILIAL"] = branch;
        data.params["LANCAMENTO"] = entry;
        data.tables["NOTAFISCAL"] = notaDataset(ctx, branch, entry);
        if (data.tables["NOTAFISCAL"].rows.empty()) {
          status = "N";
          text = fmt::format("Nota {}/{} não encontrada.", branch, entry);
        } else {
          const std::string name = danfeTemplateOf(ctx, branch, entry);
          auto& tpl = templates[name];
          if (!tpl)
            tpl = std::make_shared<const report::Template>(
                report::parseTemplate(templateText(ctx, name), name));
          const auto doc = report::layoutReport(*tpl, data);
          files.emplace_back(key + "-nfe.pdf", report::renderPdf(doc));
          text = "DANFE gerado.";
        }
      }
      detail.append();
      detail.fieldByName(fld::NRACESSONFE).setString(key);
      detail.fieldByName(fld::DSRETORNO).setString(text);
      detail.fieldByName(fld::IDSTATUS).setString(status);
      detail.post();
    }
    if (files.empty()) return failure("Nenhum DANFE gerado para as notas informadas.");
    auto streamPtr = datasetOf(records::cdsStringStream());
    auto& stream = *streamPtr;
    stream.append();
    stream.fieldByName(fld::DSSTRINGSTREAM).setString(host::Encode64(zipOf(files)));
    stream.post();
    return remote::Variant::array({remote::Variant("S"), remote::Variant::packet(stream.toPacket()),
                                   remote::Variant::packet(detail.toPacket())});
  });
}

}  // namespace service
