// `boleto code` and `boleto check`: a boleto's nosso número, barcode and typed line from an
// account's data, and the check of a typed line or barcode someone gives us.

#include <fmt/format.h>

#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "apps/boleto/Commands.h"
#include "host/Consiste.h"
#include "host/Context.h"
#include "host/DateTime.h"
#include "host/Errors.h"
#include "host/bank/BankLayout.h"
#include "host/bank/Febraban.h"
#include "host/bank/Template.h"
#include "numbering/Numerador.h"

namespace {

// Nothing is taken and nothing is kept: the command computes, it numbers no boleto.
class OfflineService final : public numbering::NumberingService {
 public:
  std::string GetNossoNumero(const std::string&) override { return "0"; }
  std::vector<numbering::NossoNumeroEmUso> GetValNosNumero(std::string&,
                                                           const std::string&) override {
    return {};
  }
  void SetCodBarra(rpc::SetCodBarra) override {}
  numbering::CodigosArmazenados NumeraBoleto(const std::string&, const std::string&,
                                             const std::string&, const std::string&,
                                             const std::string& line, const std::string& barcode,
                                             const std::string& nosso,
                                             const std::string& model) override {
    return {nosso, barcode, line, model, true};
  }
  numbering::CodigosArmazenados CodigosDoBoleto(const std::string&, const std::string&) override {
    return {};
  }
  std::string GetVdDepIdent(const std::string&, const std::string&) override { return {}; }
  numbering::InfoDepIdent GetInfoDepIdent(const std::string&, std::string&, std::string&) override {
    return {};
  }
  std::string GetSeqDepIdent(std::string&) override { return "0"; }
};

struct CodeOptions {
  std::string bank, agency, account, carteira, sequence, due, value;
  std::string agreement, bankConv, operation, registration = "1", collectionType, instalment;
  std::string templ, dacTemplate, date;
  bool json = false;
};

host::DateTime parseDate(const std::string& text, const char* what) {
  auto d = host::DateTime::parseIso(text);
  if (!d) host::MensErro(fmt::format("{} '{}' não é uma data yyyy-mm-dd.", what, text));
  return *d;
}

int runCode(const CodeOptions& o) {
  numbering::BankAccountRow row;
  row.CDREDUCONT = "CLI";
  row.CDBANCO = row.CDBANCCNAB = host::Ajusta(host::AllTrim(o.bank), 3);
  row.CDAGENCIA = o.agency;
  row.CDCONTCORR = o.account;
  row.CDBANCOCONV = o.bankConv;
  row.CDCEDENTEBAN = o.agreement;
  row.CDOPERCONTCORR = o.operation;
  row.IDFORMCADBANC = o.registration;
  numbering::NormalizaBanco(row);
  const bank::BankLayout* layout = bank::findBank(row.CDBANCCNAB);
  if (o.templ.empty() && !layout)
    host::MensErro(fmt::format("Banco {} sem leiaute: informe --template.", row.CDBANCCNAB));
  row.DSNOSNUMCORR = o.templ.empty() ? layout->defaultTemplate() : o.templ;
  row.DSDACNOSNUMR = o.dacTemplate;

  host::DateTime due = parseDate(o.due, "Vencimento");
  double value = host::StrToFloatDef(o.value, -1.0);
  if (value < 0.0) host::MensErro(fmt::format("Valor '{}' inválido.", o.value));
  std::string collection =
      o.collectionType.empty() ? (o.registration == "2" ? "02" : "01") : o.collectionType;
  std::string instalment = o.instalment.empty() ? "001" : host::Ajusta(o.instalment, 3);
  if (instalment == "000" || instalment == "00") instalment = "001";

  host::TKeyList klCarteira;
  klCarteira.Add("", std::vector<host::Value>{host::Value(o.carteira), host::Value(o.account),
                                              host::Value(due), host::Value(value), host::Value(),
                                              host::Value(), host::Value(collection),
                                              host::Value(instalment)});
  OfflineService service;
  numbering::Numerador numerador(row, klCarteira, service);
  int size = numerador.seqSize();
  if (size == 0) numbering::MensagensNumeracao().Error("ESTRUT_CONFIG");
  // The service hands out the sequence at the template's width.
  auto seq = bank::fitDigits(o.sequence, static_cast<size_t>(size));
  if (!seq || !host::IsDigits(host::AllTrim(o.sequence)))
    host::MensErro(fmt::format("Sequência '{}' não cabe em {} dígitos.", o.sequence, size));
  numerador.setDataProcessamento(o.date.empty() ? host::SystemClock().today()
                                                : parseDate(o.date, "Data"));
  std::string s = numerador.SequenciaDoContador(*seq, row.formaCadastro());

  std::string nosso = numerador.Retorna_NossoNumero("", "", "", s, row.formaCadastro());
  auto codes = numerador.Gera_CodigodeBarra("", "", s, true, numbering::Modelo::Completo1);
  std::string barcode = codes ? codes->codigoImagem : "";
  std::string line = codes ? codes->linhaDigitavel : "";
  std::string formatted = codes ? codes->linhaFormatada : "";
  if (o.json) {
    nlohmann::json j{{"nossoNumero", nosso},
                     {"barcode", barcode},
                     {"typedLine", line},
                     {"typedLineFormatted", formatted}};
    std::cout << j.dump() << '\n';
  } else {
    fmt::print("nossoNumero: {}\nbarcode: {}\ntypedLine: {}\ntypedLineFormatted: {}\n", nosso,
               barcode, line, formatted);
  }
  if (line.empty()) {
    fmt::print(stderr,
               "boleto: o banco {} não tem leiaute para estes dados: sem código de barras\n",
               row.CDBANCCNAB);
    return 1;
  }
  return 0;
}

std::string valueText(int64_t cents) {
  return fmt::format("{}.{:02d}", cents / 100, cents % 100);
}

bool printCheck(const std::string& text, const host::DateTime& today, bool json) {
  bank::Verificacao v = bank::VerificaCodigo(text, today);
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
    std::cout << j.dump() << '\n';
  } else if (v.valid) {
    fmt::print("valid bank={} due={} value={} freeField={} barcode={} typedLine={}\n", v.bank,
               v.dueDate ? v.dueDate->iso() : "none", valueText(v.cents), v.freeField, v.barcode,
               v.typedLine);
  } else {
    fmt::print("invalid reason={}\n", v.reason);
  }
  return v.valid;
}

int runCheck(const std::string& text, const std::string& date, bool json) {
  host::DateTime today = date.empty() ? host::Today() : parseDate(date, "Data");
  if (text != "-") return printCheck(text, today, json) ? 0 : 1;
  bool all = true;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (host::EmptyString(line)) continue;
    all = printCheck(line, today, json) && all;
  }
  return all ? 0 : 1;
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto code = std::make_shared<CodeOptions>();
  CLI::App* c = app.add_subcommand(
      "code", "Nosso número, barcode and typed line of a boleto from its account's data");
  c->add_option("--bank", code->bank, "bank code (CDBANCCNAB)")->required();
  c->add_option("--agency", code->agency, "agency (see docs/cli-bank.md for check digits)")
      ->required();
  c->add_option("--account", code->account, "account number")->required();
  c->add_option("--carteira", code->carteira, "collection portfolio")->required();
  c->add_option("--sequence", code->sequence, "bare sequence number")->required();
  c->add_option("--due", code->due, "due date yyyy-mm-dd")->required();
  c->add_option("--value", code->value, "value, 1234.56")->required();
  c->add_option("--agreement", code->agreement, "payee code or agreement (CDCEDENTEBAN)");
  c->add_option("--bank-conv", code->bankConv, "bank of a correspondent agreement");
  c->add_option("--operation", code->operation, "account operation code (CDOPERCONTCORR)");
  c->add_option("--registration", code->registration, "registration form 1 or 2")
      ->check(CLI::IsMember({"1", "2"}));
  c->add_option("--collection-type", code->collectionType, "01, 02 or 03")
      ->check(CLI::IsMember({"01", "02", "03"}));
  c->add_option("--instalment", code->instalment, "instalment number, three digits");
  c->add_option("--template", code->templ, "nosso número template (DSNOSNUMCORR)");
  c->add_option("--dac-template", code->dacTemplate, "typed-line template (DSDACNOSNUMR)");
  c->add_option("--date", code->date,
                "processing date yyyy-mm-dd (default today): due dates from 3,000 days before to "
                "5,500 days after it are accepted");
  c->add_flag("--json", code->json, "one JSON object");
  c->callback([code] {
    int rc = runCode(*code);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });

  struct CheckOptions {
    std::string text, date;
    bool json = false;
  };
  auto check = std::make_shared<CheckOptions>();
  CLI::App* k = app.add_subcommand(
      "check", "Verify a typed line or barcode (or one per line from standard input with -)");
  k->add_option("text", check->text, "typed line or barcode; - reads lines from stdin")->required();
  k->add_option("--date", check->date, "processing date yyyy-mm-dd (default today)");
  k->add_flag("--json", check->json, "one JSON object per result");
  k->callback([check] {
    int rc = runCheck(check->text, check->date, check->json);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
