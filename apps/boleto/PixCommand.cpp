// `boleto pix`: the PIX "copia e cola" text of a static charge, and the check of any EMV text
// a customer or a bank gives us.

#include <fmt/format.h>

#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "apps/boleto/Commands.h"
#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/Pix.h"

namespace {

namespace pix = host::pix;

struct PixOptions {
  std::string decode;
  std::string key, amount, name, city, txid, description;
  bool json = false;
};

// "1234.56" or "1234,56" to centavos; more than two decimals is refused, never rounded.
int64_t parseCents(const std::string& text) {
  const std::string t = host::AllTrim(text);
  const size_t sep = t.find_first_of(".,");
  const std::string whole = t.substr(0, sep);
  const std::string frac = sep == std::string::npos ? "" : t.substr(sep + 1);
  if (!host::IsDigits(whole) || whole.size() > 13 ||
      (sep != std::string::npos && (frac.empty() || frac.size() > 2 || !host::IsDigits(frac))))
    host::MensErro(fmt::format(
        "Valor '{}' inválido: use reais com até duas casas decimais, como 1234.56.", text));
  int64_t cents = std::stoll(whole) * 100;
  if (!frac.empty()) cents += std::stoll(frac) * (frac.size() == 1 ? 10 : 1);
  return cents;
}

nlohmann::json fieldsJson(const std::vector<pix::Field>& fields) {
  nlohmann::json out = nlohmann::json::array();
  for (const auto& f : fields) {
    nlohmann::json j{{"id", f.id}, {"name", f.name}, {"value", f.value}};
    if (!f.children.empty()) j["children"] = fieldsJson(f.children);
    out.push_back(std::move(j));
  }
  return out;
}

void printFields(const std::vector<pix::Field>& fields, int depth) {
  for (const auto& f : fields) {
    if (f.children.empty())
      fmt::print("{:{}}{} {}: {}\n", "", depth * 2, f.id, f.name, f.value);
    else
      fmt::print("{:{}}{} {}\n", "", depth * 2, f.id, f.name);
    printFields(f.children, depth + 1);
  }
}

int runDecode(const PixOptions& o) {
  const pix::Decoded d = pix::decode(o.decode);
  if (o.json) {
    nlohmann::json j{{"valid", d.valid},
                     {"reason", d.reason},
                     {"keyKind", d.keyKind ? pix::keyKindName(*d.keyKind) : ""},
                     {"key", d.key},
                     {"url", d.url},
                     {"merchantName", d.merchantName},
                     {"merchantCity", d.merchantCity},
                     {"amount", d.amount},
                     {"cents", d.cents ? nlohmann::json(*d.cents) : nlohmann::json(nullptr)},
                     {"txid", d.txid},
                     {"description", d.description},
                     {"crc", d.crc},
                     {"fields", fieldsJson(d.fields)}};
    std::cout << j.dump() << '\n';
    return d.valid ? 0 : 1;
  }
  if (d.valid) {
    std::string who = d.keyKind
                          ? fmt::format("key={} keyKind={}", d.key, pix::keyKindName(*d.keyKind))
                          : fmt::format("url={}", d.url);
    fmt::print("valid {} amount={} name={} city={} txid={}\n", who,
               d.amount.empty() ? "open" : d.amount, d.merchantName, d.merchantCity,
               d.txid.empty() ? "***" : d.txid);
  } else {
    fmt::print("invalid reason={}\n", d.reason);
  }
  printFields(d.fields, 1);
  return d.valid ? 0 : 1;
}

int runBuild(const PixOptions& o) {
  pix::StaticCharge c;
  c.key = o.key;
  if (!o.amount.empty()) c.cents = parseCents(o.amount);
  c.merchantName = o.name;
  c.merchantCity = o.city;
  c.txid = o.txid;
  c.description = o.description;
  const pix::Built b = pix::buildStatic(c);
  if (o.json) {
    std::cout << nlohmann::json{{"text", b.text}, {"notes", b.notes}}.dump() << '\n';
  } else {
    for (const auto& note : b.notes) fmt::print(stderr, "boleto: aviso: {}\n", note);
    fmt::print("{}\n", b.text);
  }
  return 0;
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto o = std::make_shared<PixOptions>();
  CLI::App* p = app.add_subcommand(
      "pix", "Build the PIX \"copia e cola\" text of a static charge, or check any EMV text");
  auto* decode = p->add_option("--decode", o->decode, "check this EMV text and name its fields");
  auto* key = p->add_option("--key", o->key,
                            "Pix key: CPF, CNPJ, e-mail, phone +55..., or random key (UUID)");
  p->add_option("--amount", o->amount, "amount in reais, 1234.56 (none: the payer types it)");
  p->add_option("--name", o->name, "merchant name (folded to ASCII, at most 25 characters)");
  p->add_option("--city", o->city, "merchant city (folded to ASCII, at most 15 characters)");
  p->add_option("--txid", o->txid, "transaction id: 1 to 25 letters or digits (none: ***)");
  p->add_option("--description", o->description, "optional text shown to the payer");
  p->add_flag("--json", o->json, "one JSON object");
  decode->excludes(key);
  p->callback([o, decode, key] {
    if (decode->count() == 0 && key->count() == 0)
      throw host::OperationError("Informe --decode TEXTO ou --key, --name e --city.");
    if (key->count() > 0 && (host::EmptyString(o->name) || host::EmptyString(o->city)))
      throw host::OperationError("Informe --name e --city do recebedor.");
    int rc = decode->count() > 0 ? runDecode(*o) : runBuild(*o);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
