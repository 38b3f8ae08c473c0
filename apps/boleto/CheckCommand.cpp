// `boleto check`: whether what a customer sends is a valid boleto, and what it charges. It
// takes a typed line or a barcode as text, or a picture (PNG, JPEG: a scan, a photo) or a PDF
// of the boleto, whose bars are read.

#include <fmt/format.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "apps/boleto/Commands.h"
#include "host/Consiste.h"
#include "host/Context.h"
#include "host/DateTime.h"
#include "host/Errors.h"
#include "host/bank/Febraban.h"
#include "host/scan/ReadBoleto.h"

namespace {

struct CheckOptions {
  std::string input, date;
  bool json = false;
};

std::string valueText(int64_t cents) {
  return fmt::format("{}.{:02d}", cents / 100, cents % 100);
}

// One result; `file` and `page` say where it was read, for a picture or a PDF.
bool print(const bank::Verificacao& v, bool json, const std::string& file = {},
           const std::string& source = {}, int page = 0) {
  if (json) {
    nlohmann::json j;
    j["valid"] = v.valid;
    j["reason"] = v.reason;
    j["bank"] = v.bank;
    j["dueDate"] = v.dueDate ? nlohmann::json(v.dueDate->iso()) : nlohmann::json(nullptr);
    j["value"] = static_cast<double>(v.cents) / 100.0;
    j["freeField"] = v.freeField;
    j["barcode"] = v.barcode;
    j["typedLine"] = v.typedLine;
    if (!file.empty()) {
      j["file"] = file;
      j["source"] = source;
      j["page"] = page;
    }
    std::cout << j.dump() << '\n';
    return v.valid;
  }
  std::string where;
  if (!file.empty())
    where = source.empty() ? fmt::format(" file={}", file)
                           : fmt::format(" file={} page={} source={}", file, page, source);
  if (v.valid)
    fmt::print("valid bank={} due={} value={} freeField={} barcode={} typedLine={}{}\n", v.bank,
               v.dueDate ? v.dueDate->iso() : "none", valueText(v.cents), v.freeField, v.barcode,
               v.typedLine, where);
  else
    fmt::print("invalid reason={}{}\n", v.reason, where);
  return v.valid;
}

// A name that reads as a file the customer sent, though no such file is there.
bool looksLikeFile(const std::string& s) {
  const std::string ext = host::LowerCase(std::filesystem::path(s).extension().string());
  return ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".pdf";
}

bool checkOne(const std::string& input, const host::DateTime& today, bool json) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(input, ec)) {
    bool all = true;
    try {
      for (const auto& r : host::scan::readBoletos(input, today))
        all = print(r.check, json, input, r.source, r.page) && all;
    } catch (const host::scan::ScanError& e) {
      throw host::OperationError(e.what());
    }
    return all;
  }
  if (looksLikeFile(input))
    throw host::OperationError(fmt::format("Arquivo não encontrado: {}", input));
  return print(bank::VerificaCodigo(input, today), json);
}

int runCheck(const CheckOptions& o) {
  host::DateTime today = host::Today();
  if (!o.date.empty()) {
    auto d = host::DateTime::parseIso(o.date);
    if (!d) host::MensErro(fmt::format("Data '{}' não é uma data yyyy-mm-dd.", o.date));
    today = *d;
  }
  if (o.input != "-") return checkOne(o.input, today, o.json) ? 0 : 1;
  bool all = true;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (host::EmptyString(line)) continue;
    // One unreadable file does not stop the others: it is a result of its own.
    try {
      all = checkOne(host::AllTrim(line), today, o.json) && all;
    } catch (const host::OperationError& e) {
      bank::Verificacao v;
      v.reason = e.what();
      print(v, o.json, host::AllTrim(line));
      all = false;
    }
  }
  return all ? 0 : 1;
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto o = std::make_shared<CheckOptions>();
  CLI::App* k = app.add_subcommand(
      "check",
      "Verify a typed line or barcode, given as text or as a picture (PNG, JPEG) or PDF of the "
      "boleto (or one per line from standard input with -)");
  k->add_option("input", o->input,
                "typed line, barcode, or a PNG, JPEG or PDF file; - reads lines from stdin")
      ->required();
  k->add_option("--date", o->date, "processing date yyyy-mm-dd (default today)");
  k->add_flag("--json", o->json, "one JSON object per result");
  k->callback([o] {
    int rc = runCheck(*o);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
