// boleto split, boleto cancel, boleto write-off --loss: the register's instalments, its
// "Cancelar Boleto" and the write-off by loss of marked boletos, headless, as an operator
// does them; the register's questions are answered as --yes says.

#include <fmt/format.h>

#include <cmath>
#include <memory>

#include "apps/boleto/Commands.h"
#include "apps/boleto/HeadlessRegister.h"
#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/Lookup.h"
#include "host/ScopedFlag.h"
#include "perdas/Cli_rec14002.h"
#include "records/Tables.h"
#include "register/HabContRec.h"

namespace {

using Key = cli::BoletoKey;

std::vector<Key> keysOf(const std::string& list) {
  std::vector<Key> keys;
  for (const auto& k : host::SplitLista(list)) keys.push_back(cli::parseBoletoKey(k, "--boleto"));
  if (keys.empty()) throw CLI::ValidationError("--boleto", "no boleto given");
  return keys;
}

void locate(rec::TfrmHabContRec& reg, const Key& k, const std::string& company) {
  if (!cli::locate(reg, k))
    throw host::OperationError(fmt::format("O boleto {}/{} não está na lista da empresa {}.",
                                           k.branch, k.number, company));
}

void markAll(rec::TfrmHabContRec& reg, const std::vector<Key>& keys, const std::string& company) {
  host::ScopedFlag quiet(reg.bMarcaGeral);
  for (const auto& k : keys) {
    locate(reg, k, company);
    if (reg.cdsBoletos.valueOf("IDMARCADO").asString() != "M") reg.Marca_Boleto(false, 'M');
  }
}

// A value as "520.40" (the list of values is comma separated).
double amount(const std::string& text) {
  const std::string t = host::AllTrim(text);
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (t.empty() || end != t.c_str() + t.size() || !std::isfinite(v))
    throw host::OperationError(fmt::format("Valor inválido: {}", text));
  return v;
}

void printInstalments(rec::TfrmHabContRec& reg) {
  auto& ds = reg.cdsParcelamento;
  for (size_t r = 1; r <= ds.recordCount(); ++r) {
    const host::Value due = ds.valueAt(r, "DTVENBOLREC");
    fmt::print("{} {}/{} {} {}\n", ds.valueAt(r, "NRPARCBOLRECVISU").asString(),
               ds.valueAt(r, "CDFILIAL").asString(), ds.valueAt(r, "NRLANBOLREC").asString(),
               due.isNull() ? "" : due.asDate().format("dd/mm/yyyy"),
               host::FormatBr(ds.valueAt(r, "VRFINALBREC").asDouble(), 2));
  }
}

// ------------------------------------------------------------------ split

struct SplitArgs {
  std::string company = "04", boleto, values, dues, reason = "01";
  bool deleteLast = false, yes = false;
};

int split(const SplitArgs& a) {
  const Key k = cli::parseBoletoKey(a.boleto, "--boleto");
  cli::HeadlessRegister session(a.company, a.yes);
  session.listAllDates();
  return cli::reportingErrors([&] {
    auto& reg = session.open();
    locate(reg, k, a.company);
    reg.control("mnuParcelamento").click();
    if (a.deleteLast) {
      reg.ExcluiParcela();
    } else {
      const auto values = host::SplitLista(a.values);
      const auto dues = host::SplitLista(a.dues);
      if (values.size() < 2)
        throw host::OperationError("Informe ao menos dois valores: o boleto e uma nova parcela.");
      reg.Alterar();
      if (!reg.instalmentsEditing()) throw host::OperationError("O boleto não pôde ser parcelado.");
      auto& ds = reg.cdsParcelamento;
      for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) reg.IncluiParcela();
        ds.fieldByName("CDMOTIPARC").setString(a.reason);
        ds.fieldByName("VRFINALBREC").setFloat(amount(values[i]));
        if (i > 0 && i - 1 < dues.size()) {
          const auto day = host::DateTime::parse(dues[i - 1], "dd/mm/yyyy");
          if (!day) throw host::OperationError(fmt::format("Data inválida: {}", dues[i - 1]));
          ds.fieldByName("DTVENBOLREC").setDate(*day);
        }
        ds.post();
      }
      reg.Confirmar();
      locate(reg, k, a.company);
      reg.control("mnuParcelamento").click();
    }
    printInstalments(reg);
    reg.close();
    return 0;
  });
}

// ------------------------------------------------------------------ cancel

struct CancelArgs {
  std::string company = "04", boletos;
  bool yes = false;
};

int cancel(const CancelArgs& a) {
  const auto keys = keysOf(a.boletos);
  cli::HeadlessRegister session(a.company, a.yes);
  session.listAllDates();
  return cli::reportingErrors([&] {
    auto& reg = session.open();
    markAll(reg, keys, a.company);
    locate(reg, keys.front(), a.company);
    reg.sbtCancelaBolClick();
    for (const auto& k : keys) {
      if (!cli::locate(reg, k)) {
        fmt::print("{}/{} separado\n", k.branch, k.number);
        continue;
      }
      fmt::print("{}/{} {} nosso número {}\n", k.branch, k.number,
                 reg.cdsBoletos.valueOf("IDSTATBREC").asString(),
                 reg.cdsBoletos.valueOf("CDNOSNUMREC").asString());
    }
    reg.close();
    return 0;
  });
}

// ------------------------------------------------------------------ write-off by loss

struct LossArgs {
  std::string company = "04", boletos, account, type, date;
  bool loss = false, yes = false;
};

int writeOff(const LossArgs& a) {
  if (!a.loss) throw CLI::ValidationError("--loss", "only the write-off by loss is built");
  const auto keys = keysOf(a.boletos);
  cli::HeadlessRegister session(a.company, a.yes);
  session.listAllDates();
  return cli::reportingErrors([&] {
    auto& reg = session.open();
    markAll(reg, keys, a.company);
    int64_t total = 0;
    std::string failure;
    session.screens().onModal("TfrmPerdas", [&](host::ScreenModel& s) {
      auto& p = dynamic_cast<rec::TfrmPerdas&>(s);
      total = p.totalCentavos();
      p.control("edtCDREDUCONT").type(a.account);
      p.control("edtCDTPBAIXAREC").type(a.type);
      p.control("edtDtBaixa").type(a.date);
      try {
        p.Confirmar();
      } catch (const host::OperationError& e) {
        failure = e.what();
        p.close();
      }
    });
    const int result = rec::CriaBaixa_Perda(a.company);
    if (!failure.empty()) throw host::OperationError(failure);
    if (result != host::mrOk) throw host::OperationError("A baixa não foi realizada.");
    fmt::print("{} boleto(s) baixado(s) por perda: {}\n", keys.size(),
               host::FormatBr(static_cast<double>(total) / 100.0, 2));
    reg.close();
    return 0;
  });
}

const cli::Registrar registrar{[](CLI::App& app) {
  {
    auto a = std::make_shared<SplitArgs>();
    auto* c = app.add_subcommand("split",
                                 "split a boleto into instalments on the register, or "
                                 "delete its last instalment");
    c->add_option("--company", a->company, "company (CDEMPRESA)")->capture_default_str();
    c->add_option("--boleto", a->boleto, "the boleto, BRANCH/NUMBER")->required();
    c->add_option("--values", a->values,
                  "the boleto's new value, then one value per new instalment (comma separated; "
                  "they must add up to the boleto)");
    c->add_option("--dues", a->dues,
                  "due dates of the new instalments, dd/mm/yyyy, comma "
                  "separated (default: the boleto's)");
    c->add_option("--reason", a->reason, "instalment reason (CDMOTIPARC)")->capture_default_str();
    c->add_flag("--delete-last", a->deleteLast, "delete the last instalment instead");
    c->add_flag("--yes", a->yes, "answer yes to the register's questions (default: no)");
    c->callback([a] {
      const int rc = split(*a);
      if (rc != 0) throw CLI::RuntimeError(rc);
    });
  }
  {
    auto a = std::make_shared<CancelArgs>();
    auto* c = app.add_subcommand("cancel",
                                 "Cancelar Boleto: cancel the emission of emitted "
                                 "boletos or separate a boleto of several receivables");
    c->add_option("--company", a->company, "company (CDEMPRESA)")->capture_default_str();
    c->add_option("--boleto", a->boletos, "the boletos, BRANCH/NUMBER, comma separated")
        ->required();
    c->add_flag("--yes", a->yes,
                "answer yes to the register's questions, keeping the print model (default: no)");
    c->callback([a] {
      const int rc = cancel(*a);
      if (rc != 0) throw CLI::RuntimeError(rc);
    });
  }
  {
    auto a = std::make_shared<LossArgs>();
    auto* c = app.add_subcommand("write-off", "write marked boletos off");
    c->add_flag("--loss", a->loss, "as a loss (Baixar por Perdas e Lucros)")->required();
    c->add_option("--company", a->company, "company (CDEMPRESA)")->capture_default_str();
    c->add_option("--boleto", a->boletos, "the boletos, BRANCH/NUMBER, comma separated")
        ->required();
    c->add_option("--account", a->account, "bank account (CDREDUCONT)")->required();
    c->add_option("--type", a->type, "write-off type (CDTPBAIXAREC)")->required();
    c->add_option("--date", a->date, "write-off date, dd/mm/yyyy")->required();
    c->add_flag("--yes", a->yes, "answer yes to the register's questions (default: no)");
    c->callback([a] {
      const int rc = writeOff(*a);
      if (rc != 0) throw CLI::RuntimeError(rc);
    });
  }
}};

}  // namespace
