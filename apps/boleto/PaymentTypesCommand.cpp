// boleto payment-types: "Tipo de Recebimento" headless. Lists a boleto's payment types; with
// --add, adds rows as the operator does on the tab (each proposes what is still to
// distribute unless a value is given) and confirms them; with --clear, deletes every row.
// The register's checks and questions apply (--yes answers the questions).

#include <fmt/format.h>

#include "apps/boleto/Commands.h"
#include "apps/boleto/HeadlessRegister.h"
#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/Lookup.h"
#include "records/Tables.h"

namespace {

struct PaymentTypesArgs {
  std::string company = "04";
  std::string boleto;
  std::vector<std::string> add;
  bool clear = false;
  bool yes = false;
};

/// One --add: "TYPE[=VALUE][,cheque=NUMBER/BANK/AGENCY/ACCOUNT][,card=CODE/NUMBER]".
struct Row {
  std::string type, value, cheque[4], card[2];
};

Row parseRow(const std::string& text) {
  Row r;
  const auto parts = host::SplitLista(text);
  if (parts.empty()) throw CLI::ValidationError("--add", "empty payment type");
  const std::string& head = parts.front();
  const auto eq = head.find('=');
  r.type = host::AllTrim(head.substr(0, eq));
  if (eq != std::string::npos) r.value = host::AllTrim(head.substr(eq + 1));
  for (size_t i = 1; i < parts.size(); ++i) {
    const auto e = parts[i].find('=');
    const std::string name = host::AllTrim(parts[i].substr(0, e));
    const std::string rest = e == std::string::npos ? "" : parts[i].substr(e + 1);
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t slash; (slash = rest.find('/', start)) != std::string::npos; start = slash + 1)
      pieces.push_back(rest.substr(start, slash - start));
    pieces.push_back(rest.substr(start));
    if (name == "cheque" && pieces.size() == 4) {
      for (size_t k = 0; k < 4; ++k) r.cheque[k] = host::AllTrim(pieces[k]);
    } else if (name == "card" && pieces.size() == 2) {
      for (size_t k = 0; k < 2; ++k) r.card[k] = host::AllTrim(pieces[k]);
    } else {
      throw CLI::ValidationError("--add",
                                 "expected cheque=NUMBER/BANK/AGENCY/ACCOUNT or "
                                 "card=CODE/NUMBER, got " +
                                     parts[i]);
    }
  }
  if (r.type.empty()) throw CLI::ValidationError("--add", "no receipt type in " + text);
  return r;
}

void print(rec::TfrmHabContRec& reg, const cli::BoletoKey& k) {
  auto& tp = reg.cdsTpRecBoleto;
  fmt::print("{}/{}: valor {}\n", k.branch, k.number,
             host::FormatBr(reg.current("VRFINALBREC").asDouble(), 2));
  if (!tp.active() || tp.isEmpty()) {
    fmt::print("  nenhum tipo de recebimento\n");
    return;
  }
  for (size_t r = 1; r <= tp.recordCount(); ++r) {
    auto text = [&](const char* f) { return host::AllTrim(tp.valueAt(r, f).asString()); };
    std::string line =
        fmt::format("  {} {} {} {}", text("NRSEQTPRECBO"), text("CDTIPORECE"), text("NMTIPORECE"),
                    host::FormatBr(tp.valueAt(r, "VRTPRECBOLR").asDouble(), 2));
    if (!text("NRCHEQBOLREC").empty()) {
      line += fmt::format(
          " cheque {} banco {} agência {} conta {}", text("NRCHEQBOLREC"), text("CDBANCBOLREC"),
          reg.mascaraCheque("CDAGENBOLREC", text("CDBANCBOLREC"), text("CDAGENBOLREC")),
          reg.mascaraCheque("CDCONTBOLREC", text("CDBANCBOLREC"), text("CDCONTBOLREC")));
    }
    if (!text("CDCARTAO").empty()) {
      line += fmt::format(" cartão {} {}", text("CDCARTAO"), text("NMCARTAO"));
    }
    fmt::print("{}\n", line);
  }
}

int paymentTypes(const PaymentTypesArgs& a) {
  const cli::BoletoKey target = cli::parseBoletoKey(a.boleto, "--boleto");
  std::vector<Row> rows;
  for (const auto& text : a.add) rows.push_back(parseRow(text));
  cli::HeadlessRegister session(a.company, a.yes);
  session.listAllDates();
  return cli::reportingErrors([&] {
    auto& reg = session.open();
    if (!cli::locate(reg, target)) {
      throw host::OperationError(fmt::format("O boleto {}/{} não está na lista da empresa {}.",
                                             target.branch, target.number, a.company));
    }
    reg.control("mnuTpRecBoleto").click();
    if (!reg.pageControl("pgcPadrao").isShown("tshTpRecBoleto")) {
      throw host::OperationError("Tipo de Recebimento não disponível para este boleto.");
    }
    auto& tp = reg.cdsTpRecBoleto;
    if (a.clear) {
      // Each row deleted as the tab deletes it; the last one confirms at once.
      while (tp.active() && !tp.isEmpty()) {
        if (!reg.ExcluirTpRec(false)) return 1;
      }
      reg.Confirmar();
    }
    for (const auto& r : rows) {
      try {
        reg.Incluir();
      } catch (const host::OperationAborted&) {
      }
      if (tp.state() != host::DatasetState::Insert) {
        throw host::OperationError("Não há valor do boleto a distribuir em outro tipo.");
      }
      tp.fieldByName("CDTIPORECE").setString(r.type);
      if (!r.value.empty()) {
        const double v = host::StrToFloatDef(r.value, -1);
        if (v <= 0) throw host::OperationError(fmt::format("Valor inválido: {}", r.value));
        tp.fieldByName("VRTPRECBOLR").setFloat(v);
      }
      const char* chequeFields[] = {"NRCHEQBOLREC", "CDBANCBOLREC", "CDAGENBOLREC", "CDCONTBOLREC"};
      for (size_t k = 0; k < 4; ++k) {
        if (!r.cheque[k].empty()) tp.fieldByName(chequeFields[k]).setString(r.cheque[k]);
      }
      if (!r.card[0].empty()) tp.fieldByName("CDCARTAO").setString(r.card[0]);
      if (!r.card[1].empty()) tp.fieldByName("NRCARCREBOLR").setString(r.card[1]);
      try {
        tp.post();
      } catch (const host::OperationAborted&) {
        throw host::OperationError(
            "Tipo de recebimento não incluído: o cheque novo não foi "
            "aceito (use --yes).");
      }
    }
    if (!rows.empty()) reg.Confirmar();
    print(reg, target);
    reg.close();
    return 0;
  });
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto a = std::make_shared<PaymentTypesArgs>();
  auto* c = app.add_subcommand("payment-types",
                               "a boleto's payment types (\"Tipo de Recebimento\"): list, add "
                               "rows and confirm them, or delete them all");
  c->add_option("--company", a->company, "company (CDEMPRESA)")->capture_default_str();
  c->add_option("--boleto", a->boleto, "the boleto, BRANCH/NUMBER")->required();
  c->add_option("--add", a->add,
                "a row: TYPE[=VALUE][,cheque=NUMBER/BANK/AGENCY/ACCOUNT][,card=CODE/NUMBER]; "
                "without a value it takes what is still to distribute");
  c->add_flag("--clear", a->clear, "delete every payment type of the boleto first");
  c->add_flag("--yes", a->yes, "answer yes to the register's questions (default: no)");
  c->callback([a] {
    if (const int rc = paymentTypes(*a); rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
