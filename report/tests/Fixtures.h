#pragma once
// A realistic boleto for the report tests: its barcode and typed line are computed here by
// the FEBRABAN rules (general digit by modulus 11, field digits by modulus 10), so a test
// can check what the page shows against numbers it did not take from the code under test.

#include <fmt/format.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "host/Context.h"
#include "host/DateTime.h"
#include "host/Host.h"
#include "report/DataSource.h"

namespace reporttest {

inline int modulo10(const std::string& digits) {
  int sum = 0, weight = 2;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    int p = (*it - '0') * weight;
    sum += p / 10 + p % 10;
    weight = weight == 2 ? 1 : 2;
  }
  return (10 - sum % 10) % 10;
}

inline int modulo11Geral(const std::string& digits43) {
  int sum = 0, weight = 2;
  for (auto it = digits43.rbegin(); it != digits43.rend(); ++it) {
    sum += (*it - '0') * weight;
    weight = weight == 9 ? 2 : weight + 1;
  }
  int dv = 11 - sum % 11;
  return (dv == 0 || dv == 10 || dv == 11) ? 1 : dv;
}

struct SampleCodes {
  std::string barcode;       ///< 44 digits
  std::string typedLine;     ///< 47 digits
  std::string typedLineFmt;  ///< "99999.99999 99999.999999 99999.999999 9 99999999999999"
};

/// Bank 001, 7-digit agreement 1234567, sequence 123, carteira 17.
inline SampleCodes sampleCodes(const host::DateTime& due, long long cents) {
  const auto base = host::DateTime::fromYmd(1997, 10, 7);
  const long long days = due.daysSince(base);
  const long long factor = (days - 1000) % 9000 + 1000;
  const std::string freeField =
      "000000"
      "1234567"
      "0000000123"
      "17";
  const std::string tail = fmt::format("{:04}{:010}", factor, cents);
  const std::string head = "0019";
  const int dv = modulo11Geral(head + tail + freeField);
  SampleCodes c;
  c.barcode = head + std::to_string(dv) + tail + freeField;
  const std::string f1 = head + freeField.substr(0, 5);
  const std::string f2 = freeField.substr(5, 10);
  const std::string f3 = freeField.substr(15, 10);
  const std::string d1 = f1 + std::to_string(modulo10(f1));
  const std::string d2 = f2 + std::to_string(modulo10(f2));
  const std::string d3 = f3 + std::to_string(modulo10(f3));
  c.typedLine = d1 + d2 + d3 + std::to_string(dv) + tail;
  c.typedLineFmt =
      fmt::format("{}.{} {}.{} {}.{} {} {}", d1.substr(0, 5), d1.substr(5), d2.substr(0, 5),
                  d2.substr(5), d3.substr(0, 5), d3.substr(5), dv, tail);
  return c;
}

inline const host::DateTime kDue = host::DateTime::fromYmd(2026, 12, 20);
inline constexpr long long kCents = 123456;

/// The BOLETO dataset row of the sample, as the service serves it.
inline report::DataTable sampleBoleto(bool withBarcode = true) {
  const SampleCodes c = sampleCodes(kDue, kCents);
  std::vector<std::pair<std::string, host::Value>> f = {
      {"CDFILIAL", "0001"},
      {"NRLANBOLREC", "0000004711"},
      {"NMBANCO", "Banco do Brasil"},
      {"CDBANCODV", "001-9"},
      {"DSLINHABARREC", withBarcode ? c.typedLineFmt : std::string()},
      {"CDBARRAREC", withBarcode ? c.barcode : std::string()},
      {"DSLOCALPAGTO", "Pagável em qualquer banco até o vencimento"},
      {"DTVENBOLREC", kDue},
      {"NMRAZSOCBENEF", "Comercial Araucária Ltda"},
      {"NRINSJURBENEF", "11222333000181"},
      {"DSENDBENEF", "Rua das Palmeiras, 100 - Centro - Curitiba - PR"},
      {"CDAGENCIA", "1234-5"},
      {"CDCEDENTEBAN", "98765-4"},
      {"DTEMISSAO", host::DateTime::fromYmd(2026, 11, 20)},
      {"NRDOCUMENTO", "000123/1"},
      {"DSESPECIEDOC", "DM"},
      {"IDACEITE", "N"},
      {"DTPROCESSAMENTO", host::DateTime::fromYmd(2026, 11, 20)},
      {"CDNOSNUMREC", "12345670000000123"},
      {"CDCARTCOBBOL", "17"},
      {"VRFINALBREC", static_cast<double>(kCents) / 100.0},
      {"VRMULTABREC", 24.69},
      {"VRMORDIABREC", 0.41},
      {"TXINSTRUCOES", "Não receber após 30 dias do vencimento."},
      {"NMRAZSOCCLIE", "Maria Aparecida Souza"},
      {"NRINSJURCLIE", "52998224725"},
      {"DSENDCLIE", "Avenida Brasil, 2500, ap. 31"},
      {"NMBAIRROCLIE", "Jardim América"},
      {"NRCEPCLIE", "80000-000"},
      {"NMCIDADECLIE", "Curitiba"},
      {"SGUFCLIE", "PR"},
      {"CDCONTCORR", "12345-6"},
      {"CDDEPIDENREC", "0400010000047117"},
      {"NRNOTAFISC", "000123"},
      {"TXOBSNF", "Serviços prestados em novembro de 2026."},
  };
  report::DataTable t;
  std::vector<host::Value> row;
  for (auto& [k, v] : f) {
    t.fields.push_back(k);
    row.push_back(v);
  }
  t.rows.push_back(std::move(row));
  return t;
}

/// The ITENSNF dataset: the lines of the invoice or debit note behind the sample boleto.
inline report::DataTable sampleItems() {
  report::DataTable t;
  t.fields = {"CDFILIAL", "NRLANBOLREC", "DSITEMNF", "QTITEMNF", "VRUNITNF", "VRTOTITEMNF"};
  t.rows.push_back(
      {"0001", "0000004711", "Manutenção preventiva de equipamentos", 1.0, 1000.00, 1000.00});
  t.rows.push_back({"0001", "0000004711", "Deslocamento técnico (km)", 117.28, 2.00, 234.56});
  return t;
}

inline std::string sourceDir() {
  const char* s = std::getenv("BOLETO_SOURCE_DIR");
  return s ? s : BOLETO_TEST_SOURCE_DIR;
}

inline std::string templatePath(const std::string& name) {
  return sourceDir() + "/templates/" + name;
}

/// Runs a command, returning its standard output (standard error dropped).
inline std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

/// A scratch directory, also used as the temporary directory, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    char tmpl[] = "/tmp/report-test-XXXXXX";
    dir_ = mkdtemp(tmpl);
    oldTmp_ = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    setenv("TMPDIR", dir_.c_str(), 1);
    host::ContextSettings s;
    s.webUrl = "reports.example";
    s.webPort = 8299;
    s.reportDir = dir_ + "/";
    host_.emplace(host::Host{.context = std::make_shared<host::ConfiguredContext>(s)});
  }
  ~ScratchDir() {
    host_.reset();
    if (oldTmp_.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", oldTmp_.c_str(), 1);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& path() const { return dir_; }
  std::string file(const std::string& name) const { return dir_ + "/" + name; }
  /// Names of the entries of the directory.
  std::vector<std::string> entries(const std::string& sub = {}) const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(sub.empty() ? dir_ : dir_ + "/" + sub))
      out.push_back(e.path().filename().string());
    return out;
  }

 private:
  std::string dir_;
  std::string oldTmp_;
  std::optional<host::HostScope> host_;
};

}  // namespace reporttest
